// Watches which files the process opens: this program's own definitions of the C
// library's open functions, and of its syscall function for openat2, record each path,
// then call the library's.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace fuzzing {

// While an OpenWatch lives, every file opened by any thread is recorded by the absolute
// path it was opened under (relative paths are resolved against the working directory
// or the directory descriptor they were given with). One watch at a time.
class OpenWatch {
 public:
  OpenWatch();
  ~OpenWatch();
  OpenWatch(const OpenWatch&) = delete;
  OpenWatch& operator=(const OpenWatch&) = delete;

  std::vector<std::string> openedPaths() const;

  // The first opened path whose real path is none of `directories` (each given by its
  // real path) and lies below none of them, if there is one.
  std::optional<std::string> openedOutside(const std::vector<std::string>& directories) const;
};

// The real path of `path`: every link, "." and ".." resolved; empty when it cannot be.
std::string realPathOf(const std::string& path);

}  // namespace fuzzing
