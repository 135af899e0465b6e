// The resident application. The first quillory-view of a session becomes the instance;
// later ones hand their file to it over D-Bus and return once its window shows something.
// The instance outlives its last window for a while, so that the next preview finds the
// toolkit, the web engine and the script engine started.
#include "viewer/window/application.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>

#include "viewer/window/conversion_helpers.h"
#include "viewer/window/preview_window.h"
#include "viewer/window/settings.h"

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
         (runtime != nullptr &&
          g_file_test((std::string(runtime) + "/bus").c_str(), G_FILE_TEST_EXISTS));
}

// A command line, from this process or another: one window on its file, and the exit
// status for the command once the window shows the page (0) or why there is none (1). The
// launcher sends "--", the file's absolute path, then its name as given, for messages; the
// toolkit drops the "--" of a command line parsed in this process.
int onCommandLine(GApplication* application, GApplicationCommandLine* commandLine, gpointer data) {
  const auto& report = *static_cast<const ReportStatus*>(data);
  int count = 0;
  gchar** arguments = g_application_command_line_get_arguments(commandLine, &count);
  const int first = count > 1 && std::string(arguments[1]) == "--" ? 2 : 1;
  if (count - first != 2 || !g_path_is_absolute(arguments[first])) {
    g_application_command_line_printerr(commandLine, "Usage: quillory-view FILE|DIR\n");
    g_strfreev(arguments);
    return 2;
  }
  const std::string path = arguments[first];
  const std::string file = arguments[first + 1];
  g_strfreev(arguments);
  g_object_ref(commandLine);
  openPreviewWindow(GTK_APPLICATION(application), path, {},
                    [commandLine, file, report](const auto& failure) {
                      const int status = failure ? 1 : 0;
                      const std::string message =
                          failure ? "quillory-view: " + file + ": " + failure->message + "\n" : "";
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
      openPreviewWindow(GTK_APPLICATION(application), path, {}, [](const auto&) {});
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

int runApplication(const std::string& path, const std::string& name, const ReportStatus& report) {
  if (std::string problem = configDirectoryProblem(); !problem.empty()) {
    report(1, "quillory-view: cannot open a window: " + problem + "\n");
    return 1;
  }
  return run({"quillory-view", "--", path.c_str(), name.c_str()}, report);
}

int runService() {
  if (std::string problem = configDirectoryProblem(); !problem.empty()) {
    std::fprintf(stderr, "quillory-view: cannot open a window: %s\n", problem.c_str());
    return 1;
  }
  return run({"quillory-view", "--gapplication-service"}, [](int, const std::string&) {});
}

}  // namespace viewer
