// The resident application. The first quillory-view of a session becomes the instance;
// later ones hand their file to it over D-Bus and return once its window shows something.
// The instance outlives its last window for a while, so that the next preview finds the
// toolkit, the web engine and the script engine started.
#include "viewer/window/application.h"

#include <gtk/gtk.h>

#include <cstdlib>
#include <filesystem>

#include "viewer/window/conversion_helpers.h"
#include "viewer/window/preview_window.h"

namespace viewer {
namespace {

// How long the instance waits for another window after its last one closed.
constexpr guint kIdleMilliseconds = 5 * 60 * 1000;

// The tests shorten the wait, to see the instance end.
guint idleMilliseconds() {
  const char* forTests = std::getenv("QUILLORY_VIEW_TEST_IDLE_MS");
  return forTests != nullptr ? static_cast<guint>(std::strtoul(forTests, nullptr, 10))
                             : kIdleMilliseconds;
}

// Without a session bus no other process could reach the instance: each process then
// keeps its windows to itself and ends with the last of them.
bool sessionBusReachable() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return (address != nullptr && *address != '\0') ||
         (runtime != nullptr && std::filesystem::exists(std::filesystem::path(runtime) / "bus"));
}

std::string absolutePath(const char* directory, const char* file) {
  std::filesystem::path path(file);
  return path.is_absolute() || directory == nullptr ? path
                                                    : std::filesystem::path(directory) / path;
}

// A command line, from this process or another: one window on its file, and the exit
// status for the command once the window shows the page (0) or why there is none (1).
int onCommandLine(GApplication* application, GApplicationCommandLine* commandLine, gpointer data) {
  const auto& report = *static_cast<const ReportStatus*>(data);
  int count = 0;
  gchar** arguments = g_application_command_line_get_arguments(commandLine, &count);
  if (count != 2) {
    g_application_command_line_printerr(commandLine, "Usage: quillory-view FILE\n");
    g_strfreev(arguments);
    return 2;
  }
  const std::string file = arguments[1];
  const std::string path =
      absolutePath(g_application_command_line_get_cwd(commandLine), arguments[1]);
  g_strfreev(arguments);
  g_object_ref(commandLine);
  openPreviewWindow(GTK_APPLICATION(application), path,
                    [commandLine, file, report](const std::string& failure) {
                      const int status = failure.empty() ? 0 : 1;
                      const std::string message =
                          failure.empty() ? "" : "quillory-view: " + file + ": " + failure + "\n";
                      if (g_application_command_line_get_is_remote(commandLine)) {
                        g_application_command_line_printerr(commandLine, "%s", message.c_str());
                        // The command returns when the last reference goes.
                        g_application_command_line_set_exit_status(commandLine, status);
                      } else {
                        report(status, message);
                      }
                      g_object_unref(commandLine);
                    });
  return 0;
}

// Files opened through D-Bus activation (a file manager, a desktop entry).
void onOpen(GApplication* application, GFile** files, gint count, gchar*, gpointer) {
  for (gint i = 0; i < count; ++i) {
    if (gchar* path = g_file_get_path(files[i])) {
      openPreviewWindow(GTK_APPLICATION(application), path, [](const std::string&) {});
      g_free(path);
    }
  }
}

int run(const std::vector<const char*>& arguments, const ReportStatus& report) {
  const bool unique = sessionBusReachable();
  GtkApplication* application = gtk_application_new(
      kApplicationId, static_cast<GApplicationFlags>(
                          G_APPLICATION_HANDLES_COMMAND_LINE | G_APPLICATION_HANDLES_OPEN |
                          (unique ? G_APPLICATION_DEFAULT_FLAGS : G_APPLICATION_NON_UNIQUE)));
  g_application_set_inactivity_timeout(G_APPLICATION(application), unique ? idleMilliseconds() : 0);
  g_signal_connect(application, "command-line", G_CALLBACK(onCommandLine),
                   const_cast<ReportStatus*>(&report));
  g_signal_connect(application, "open", G_CALLBACK(onOpen), nullptr);
  // The conversion helper and the web process start while the first window is made.
  g_signal_connect(application, "startup", G_CALLBACK(+[](GApplication*) {
                     prepareHelper();
                     prepareWindow();
                   }),
                   nullptr);
  g_signal_connect(application, "activate", G_CALLBACK(+[](GApplication*, gpointer) {}), nullptr);
  const int status =
      g_application_run(G_APPLICATION(application), static_cast<int>(arguments.size()),
                        const_cast<char**>(arguments.data()));
  g_object_unref(application);
  return status;
}

}  // namespace

int runApplication(const std::string& file, const ReportStatus& report) {
  return run({"quillory-view", file.c_str()}, report);
}

int runService() {
  return run({"quillory-view", "--gapplication-service"}, [](int, const std::string&) {});
}

}  // namespace viewer
