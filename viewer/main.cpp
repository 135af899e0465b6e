// quillory-view: the desktop host. It shows the page the previewer answers for one
// Markdown file in a window, and renders it again whenever the file changes. The windows
// of a session share one resident instance (viewer/application.h).
#include <getopt.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/background.h"
#include "viewer/application.h"

namespace {

constexpr const char* kUsage = "Usage: quillory-view FILE\n";
constexpr const char* kHelp =
    "Show the Markdown file FILE rendered in a window, as the quillory command renders\n"
    "it, and render it again whenever the file changes on disk.\n"
    "\n"
    "The command returns once the window shows the page (or why there is none); the\n"
    "window lives on. All windows of a session belong to one instance of the application\n"
    "(org.quillory.Viewer on the session bus), which stays for five minutes after its last\n"
    "window closes, so that the next preview opens at once.\n"
    "\n"
    "The page runs no script and loads nothing from the network; a link that is clicked\n"
    "opens in the default web browser.\n"
    "\n"
    "Keys:\n"
    "  Space, Escape, Ctrl+W    close the window\n"
    "  Ctrl+C                   copy the selection\n"
    "  Ctrl+plus, Ctrl+minus    zoom in, zoom out (Ctrl+0 resets)\n"
    "  Ctrl+F                   find in the page (Enter for the next match, Escape to stop)\n"
    "  Ctrl+P                   print (\"Print to File\" writes a PDF)\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n"
    "\n"
    "Exit status: 0 when the window shows the page, 1 when it shows that the file could\n"
    "not be read or is not a regular file (the reason also goes to standard error), or\n"
    "when no window could be opened; 2 on a usage error.\n";

// Ends the instance. A conversion may still be running, or blocked in a read (a file
// swapped for a FIFO between the check and the open), for a window that is gone. An
// ordinary exit would wait for the converting threads to finish; _exit does not.
[[noreturn]] void endInstance(int status) {
  std::fflush(stdout);
  std::fflush(stderr);
  _exit(status);
}

int usageError(const std::string& message) {
  std::fprintf(stderr, "quillory-view: %s\n%sTry 'quillory-view --help' for more information.\n",
               message.c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // The D-Bus service file starts the instance this way.
  if (argc == 2 && std::string(argv[1]) == "--gapplication-service") {
    endInstance(viewer::runService());
  }
  static const option kOptions[] = {{"help", no_argument, nullptr, 'h'},
                                    {"version", no_argument, nullptr, 'V'},
                                    {nullptr, 0, nullptr, 0}};
  opterr = 0;
  for (int option; (option = getopt_long(argc, argv, "hV", kOptions, nullptr)) != -1;) {
    switch (option) {
      case 'h':
        std::fputs(kUsage, stdout);
        std::fputs(kHelp, stdout);
        return 0;
      case 'V':
        std::printf("quillory-view %s\n", QUILLORY_VERSION);
        return 0;
      default:
        return usageError(std::string("unknown option '") + argv[optind - 1] + "'");
    }
  }
  if (argc - optind != 1) {
    return usageError(argc == optind ? "no FILE given" : "only one FILE may be given");
  }
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((display == nullptr || *display == '\0') && (wayland == nullptr || *wayland == '\0')) {
    std::fputs("quillory-view: cannot open a window: no display is available\n", stderr);
    return 1;
  }
  const std::string file = argv[optind];
  return platform::runInBackground([&file](const platform::ReportStatus& report) {
    endInstance(viewer::runApplication(file, report));
    return 0;
  });
}
