// Real paths: file URLs with every symbolic link, "." and ".." resolved by the file system.
#include "platform/real_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <string>

namespace platform {

std::optional<FileURL> realPath(const FileURL& url) {
  const std::string path = url.path();
  // The file system cannot name a path with a NUL byte in it; C would cut it short.
  if (path.find('\0') != std::string::npos) return std::nullopt;
  std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
  if (!resolved) return std::nullopt;
  return FileURL::fileURLWithPath(resolved.get());
}

std::optional<FileURL> realPath(const FileDescriptor& file) {
  struct stat opened {};
  if (fstat(file.get(), &opened) != 0) return std::nullopt;
  // The kernel keeps the path each descriptor was reached by, as the target of its link
  // in /proc. A removed file's path gains " (deleted)"; the path counts only while it
  // still leads to the file itself.
  std::string path(PATH_MAX, '\0');
  const std::string link = "/proc/self/fd/" + std::to_string(file.get());
  const ssize_t length = readlink(link.c_str(), path.data(), path.size());
  if (length <= 0 || static_cast<size_t>(length) >= path.size() || path[0] != '/') {
    return std::nullopt;
  }
  path.resize(static_cast<size_t>(length));
  struct stat named {};
  if (lstat(path.c_str(), &named) != 0 || named.st_dev != opened.st_dev ||
      named.st_ino != opened.st_ino) {
    return std::nullopt;
  }
  return FileURL::fileURLWithPath(path);
}

}  // namespace platform
