// quillory-view-helper: converts for the windows of quillory-view-instance, which starts it
// with its socket as fd 3 (with --warm, the one started ahead for the next directory). It
// links no toolkit and no web engine, so that a confined helper maps neither.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "viewer/helper/conversion_service.h"

int main(int argc, char** argv) {
  const bool warm = argc == 2 && std::string(argv[1]) == "--warm";
  if (argc != 1 && !warm) {
    std::fputs("quillory-view-helper is started by quillory-view-instance\n", stderr);
    return 2;
  }
  const int status = viewer::serveConversions(3, warm);
  // A conversion may still be running, or blocked in a read, for a window that is gone:
  // an ordinary exit would wait for the converting threads to finish; _exit does not.
  std::fflush(stdout);
  std::fflush(stderr);
  _exit(status);
}
