// Build step: writes the script engine's cache for the library files given.
//
//   script_engine_cache_writer CACHE_FILE LIBRARY.js...
#include <cstdio>
#include <string>
#include <vector>

#include "platform/script_engine_cache.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: script_engine_cache_writer CACHE_FILE LIBRARY.js...\n", stderr);
    return 2;
  }
  std::vector<std::string> libraries(argv + 2, argv + argc);
  return platform::writeEngineCache(argv[1], libraries) ? 0 : 1;
}
