// Writing pages out: to files, replaced whole or written in place, and to standard output.
#pragma once

#include <string>
#include <string_view>
#include <system_error>

namespace platform {

// A file that could not be written. what() reads "PATH: REASON".
class FileWriteError : public std::system_error {
 public:
  FileWriteError(int error, const std::string& path)
      : std::system_error(error, std::generic_category(), path) {}
};

// Writes `bytes` to `path`. A new name or a regular file gets a temporary file beside it,
// renamed over it once complete: a failed or interrupted write never leaves a partial
// file at `path` nor harms an older one. An existing file of any other kind (a device, a
// FIFO, a terminal, as /dev/null or /dev/stdout) is written in place, never replaced.
// Throws FileWriteError.
void writeOutputFile(const std::string& path, std::string_view bytes);

// Writes all of `bytes` to standard output. Returns 0, or the errno of the failure
// (EPIPE when the reader has gone).
int writeStandardOutput(std::string_view bytes);

// Makes `path` and its missing parents as directories. Throws FileWriteError.
void makeDirectories(const std::string& path);

}  // namespace platform
