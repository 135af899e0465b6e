// Real paths: file URLs with every symbolic link, "." and ".." resolved by the file system.
#include "platform/real_path.h"

#include <cstdlib>
#include <memory>

namespace platform {

std::optional<FileURL> realPath(const FileURL& url) {
  const std::string path = url.path();
  // The file system cannot name a path with a NUL byte in it; C would cut it short.
  if (path.find('\0') != std::string::npos) return std::nullopt;
  std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
  if (!resolved) return std::nullopt;
  return FileURL::fileURLWithPath(resolved.get());
}

}  // namespace platform
