// Shows a file in the desktop's file manager, over the session bus.
#include "viewer/window/file_manager.h"

#include <gio/gio.h>

namespace viewer {
namespace {

// A file manager started for the request may take a while to answer.
constexpr int kAnswerMilliseconds = 10000;

using Done = std::function<void(bool)>;

void onAnswer(GObject* connection, GAsyncResult* result, gpointer data) {
  auto* done = static_cast<Done*>(data);
  GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(connection), result, nullptr);
  if (reply != nullptr) g_variant_unref(reply);
  (*done)(reply != nullptr);
  delete done;
}

void onBus(GObject*, GAsyncResult* result, gpointer data) {
  auto* call = static_cast<std::pair<std::string, Done>*>(data);
  GDBusConnection* bus = g_bus_get_finish(result, nullptr);
  if (bus == nullptr) {
    call->second(false);
  } else {
    gchar* uri = g_filename_to_uri(call->first.c_str(), nullptr, nullptr);
    const gchar* uris[] = {uri, nullptr};
    g_dbus_connection_call(bus, "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                           "org.freedesktop.FileManager1", "ShowItems",
                           g_variant_new("(^ass)", uris, ""), nullptr, G_DBUS_CALL_FLAGS_NONE,
                           kAnswerMilliseconds, nullptr, onAnswer,
                           new Done(std::move(call->second)));
    g_free(uri);
    g_object_unref(bus);
  }
  delete call;
}

}  // namespace

void revealInFileManager(const std::string& path, std::function<void(bool shown)> done) {
  g_bus_get(G_BUS_TYPE_SESSION, nullptr, onBus,
            new std::pair<std::string, Done>(path, std::move(done)));
}

}  // namespace viewer
