// Watches one file and calls back once a burst of changes to it has settled.
#pragma once

#include <gio/gio.h>

#include <functional>
#include <string>

namespace viewer {

class FileWatch {
 public:
  // `changed` runs on the main thread after the file was written, replaced, moved away,
  // deleted or created, once no further change came for a moment. Editors that save by
  // writing a new file and renaming it over the old one count as one change.
  FileWatch(const std::string& path, std::function<void()> changed);
  ~FileWatch();
  FileWatch(const FileWatch&) = delete;
  FileWatch& operator=(const FileWatch&) = delete;

 private:
  static void onEvent(GFileMonitor*, GFile*, GFile*, GFileMonitorEvent event, gpointer self);

  std::function<void()> changed_;
  GFileMonitor* monitor_ = nullptr;
  guint settleTimer_ = 0;
};

}  // namespace viewer
