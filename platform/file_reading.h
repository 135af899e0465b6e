// Whole-file reads with the operating system's error on failure.
#pragma once

#include <cstddef>
#include <string>
#include <system_error>

#include "platform/file_url.h"

namespace platform {

// A file that could not be read. what() reads "PATH: REASON".
class FileReadError : public std::system_error {
 public:
  FileReadError(int error, const std::string& path)
      : std::system_error(error, std::generic_category(), path), path_(path) {}
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The bytes of the file, at most `limit` of them (the read stops there). Throws
// FileReadError when the file is missing, unreadable or a directory.
std::string readFile(const FileURL& url, size_t limit = SIZE_MAX);

}  // namespace platform
