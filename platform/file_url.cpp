// File URLs: absolute file-system paths and the path operations the preview relies on.
#include "platform/file_url.h"

#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace platform {
namespace {

std::string workingDirectory() {
  for (size_t size = 4096;; size *= 2) {
    auto buffer = std::make_unique<char[]>(size);
    if (getcwd(buffer.get(), size) != nullptr) return buffer.get();
    // A directory removed, or one above it unreadable: names stay relative to it
    // through the kernel's own link, so that they fail (or resolve) as they would for
    // any other program, never against "/".
    if (errno != ERANGE) return "/proc/self/cwd";
  }
}

std::string withoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string joined(std::string directory, std::string_view relative) {
  if (directory.empty() || directory.back() != '/') directory += '/';
  directory += relative;
  return directory;
}

}  // namespace

FileURL FileURL::fileURLWithPath(std::string_view path) {
  return fileURLWithPath(path, FileURL(workingDirectory()));
}

FileURL FileURL::fileURLWithPath(std::string_view path, const FileURL& directory) {
  if (!path.empty() && path.front() == '/') return FileURL(std::string(path));
  return FileURL(joined(directory.path_, path));
}

std::string FileURL::path() const { return withoutTrailingSeparators(path_); }

FileURL FileURL::deletingLastPathComponent() const {
  return FileURL(platform::deletingLastPathComponent(path_));
}

FileURL FileURL::standardized() const {
  std::vector<std::string_view> segments;
  std::string_view rest = path_;
  while (!rest.empty()) {
    size_t slash = rest.find('/');
    std::string_view segment = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (segment.empty() || segment == ".") continue;
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
      continue;
    }
    segments.push_back(segment);
  }
  std::string path;
  for (std::string_view segment : segments) {
    path += '/';
    path += segment;
  }
  return FileURL(path.empty() ? "/" : path);
}

std::string FileURL::pathExtension() const {
  const std::string name = lastPathComponent(path_);
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) return "";
  return name.substr(dot + 1);
}

std::string lastPathComponent(std::string_view path) {
  const std::string trimmed = withoutTrailingSeparators(std::string(path));
  return trimmed.substr(trimmed.rfind('/') + 1);
}

std::string deletingLastPathComponent(std::string_view path) {
  std::string trimmed = withoutTrailingSeparators(std::string(path));
  const size_t slash = trimmed.rfind('/');
  if (slash == std::string::npos) return trimmed.starts_with('/') ? "/" : ".";
  if (slash == 0) return "/";
  trimmed.resize(slash);
  return withoutTrailingSeparators(std::move(trimmed));
}

std::string replacingPathExtension(std::string_view path, std::string_view extension) {
  const size_t nameStart = path.rfind('/') + 1;
  const size_t dot = path.rfind('.');
  const bool hasExtension = dot != std::string_view::npos && dot > nameStart;
  std::string replaced(path.substr(0, hasExtension ? dot : path.size()));
  replaced += '.';
  replaced += extension;
  return replaced;
}

bool liesInside(std::string_view path, std::string_view directory) {
  return path == directory || (path.size() > directory.size() && path.starts_with(directory) &&
                               path[directory.size()] == '/');
}

}  // namespace platform
