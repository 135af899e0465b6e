// Writing pages out: whole files replaced atomically, and standard output.
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

// Writes `bytes` to a temporary file beside `path`, then renames it over `path`: a failed
// or interrupted write never leaves a partial file at `path` nor harms an older one.
// Throws FileWriteError.
void writeFileAtomically(const std::string& path, std::string_view bytes);

// Writes all of `bytes` to standard output. Returns 0, or the errno of the failure
// (EPIPE when the reader has gone).
int writeStandardOutput(std::string_view bytes);

// Makes `path` and its missing parents as directories. Throws FileWriteError.
void makeDirectories(const std::string& path);

}  // namespace platform
