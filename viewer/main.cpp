// quillory-view: the desktop host. It shows the page the previewer answers for one
// Markdown file in a window, and renders it again whenever the file changes.
#include <getopt.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "viewer/preview_window.h"

namespace {

constexpr const char* kUsage = "Usage: quillory-view FILE\n";
constexpr const char* kHelp =
    "Show the Markdown file FILE rendered in a window, as the quillory command renders\n"
    "it, and render it again whenever the file changes on disk.\n"
    "\n"
    "The page runs no script and loads nothing from the network; a link that is clicked\n"
    "opens in the default web browser.\n"
    "\n"
    "Keys:\n"
    "  Space, Escape, Ctrl+W    close the window\n"
    "  Ctrl+C                   copy the selection\n"
    "  Ctrl+plus, Ctrl+minus    zoom in, zoom out (Ctrl+0 resets)\n"
    "  Ctrl+F                   find in the page (Enter for the next match, Escape to stop)\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n"
    "\n"
    "Exit status: 0 when the window closes on a page, 1 when it closes on a file that\n"
    "could not be read or is not a regular file (or no window could be opened), 2 on a\n"
    "usage error.\n";

int usageError(const std::string& message) {
  std::fprintf(stderr, "quillory-view: %s\n%sTry 'quillory-view --help' for more information.\n",
               message.c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
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
  if (!gtk_init_check()) {
    std::fputs("quillory-view: cannot open a window: no display is available\n", stderr);
    return 1;
  }
  int status = viewer::runPreviewWindow(argv[optind]);
  // The window is gone, so nobody wants a page any more, but a conversion may still be
  // running, or blocked in a read (a file swapped for a FIFO between the check and the
  // open). An ordinary exit would wait for the converting threads to finish; _exit does not.
  std::fflush(stdout);
  std::fflush(stderr);
  _exit(status);
}
