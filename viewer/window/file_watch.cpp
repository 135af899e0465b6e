// Watches one file and calls back once a burst of changes to it has settled.
#include "viewer/window/file_watch.h"

#include <cstdio>

namespace viewer {
namespace {

// How long the file must stay quiet before it is read again.
constexpr guint kSettleMilliseconds = 120;

}  // namespace

FileWatch::FileWatch(const std::string& path, std::function<void()> changed)
    : changed_(std::move(changed)) {
  GFile* file = g_file_new_for_path(path.c_str());
  GError* error = nullptr;
  monitor_ = g_file_monitor_file(file, G_FILE_MONITOR_WATCH_MOVES, nullptr, &error);
  g_object_unref(file);
  if (monitor_ == nullptr) {
    std::fprintf(stderr, "quillory-view: %s: changes will not be shown: %s\n", path.c_str(),
                 error->message);
    g_error_free(error);
    return;
  }
  g_signal_connect(monitor_, "changed", G_CALLBACK(onEvent), this);
}

FileWatch::~FileWatch() {
  if (settleTimer_ != 0) g_source_remove(settleTimer_);
  if (monitor_ != nullptr) {
    g_signal_handlers_disconnect_by_data(monitor_, this);
    g_file_monitor_cancel(monitor_);
    g_object_unref(monitor_);
  }
}

void FileWatch::onEvent(GFileMonitor*, GFile*, GFile*, GFileMonitorEvent event, gpointer data) {
  auto* self = static_cast<FileWatch*>(data);
  // A change of permissions counts: it may make the file readable or unreadable.
  if (event == G_FILE_MONITOR_EVENT_PRE_UNMOUNT || event == G_FILE_MONITOR_EVENT_UNMOUNTED) return;
  if (self->settleTimer_ != 0) g_source_remove(self->settleTimer_);
  self->settleTimer_ = g_timeout_add_once(
      kSettleMilliseconds,
      [](gpointer data) {
        auto* self = static_cast<FileWatch*>(data);
        self->settleTimer_ = 0;
        self->changed_();
      },
      self);
}

}  // namespace viewer
