// quillory-view-instance: the resident instance of the preview window, started by
// quillory-view (with --report-fd, the pipe on which that command waits for its status)
// or by D-Bus activation (--gapplication-service).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/background.h"
#include "viewer/window/application.h"

namespace {

// Ends the instance. A conversion may still be running, or blocked in a read (a file
// swapped for a FIFO between the check and the open), for a window that is gone. An
// ordinary exit would wait for the converting threads to finish; _exit does not.
[[noreturn]] void endInstance(int status) {
  std::fflush(stdout);
  std::fflush(stderr);
  _exit(status);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--gapplication-service") {
    endInstance(viewer::runService());
  }
  if (argc == 6 && std::string(argv[1]) == "--report-fd" && std::string(argv[3]) == "--") {
    int statusPipe = std::atoi(argv[2]);
    platform::detachFromCaller(statusPipe);
    endInstance(viewer::runApplication(argv[4], argv[5],
                                       [&statusPipe](int status, const std::string& message) {
                                         platform::reportStatus(statusPipe, status, message);
                                       }));
  }
  std::fputs("quillory-view-instance is started by quillory-view: run quillory-view FILE\n",
             stderr);
  return 2;
}
