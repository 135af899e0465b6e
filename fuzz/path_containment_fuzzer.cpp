// Fuzzes resolving an image source against the base directory, standardization, and the
// containment test built on them. Input: the base directory's path, a line feed, the source.
#include <cstdint>
#include <string>
#include <vector>

#include "harness.h"
#include "platform/file_url.h"
#include "platform/files.h"
#include "platform/text.h"

namespace {

using fuzzing::require;

std::vector<std::string_view> segmentsOf(std::string_view path) {
  std::vector<std::string_view> segments;
  for (size_t start = 0; start <= path.size();) {
    const size_t end = std::min(path.find('/', start), path.size());
    if (end > start) segments.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return segments;
}

// Standardizes by rewriting the text until nothing changes, a way apart from the
// segment list of the code under test: "//" and "/./" become "/", "/NAME/../" becomes
// "/", and a "/../" at the start becomes "/".
std::string standardizedByRewriting(std::string path) {
  path += '/';
  for (bool changed = true; changed;) {
    changed = false;
    for (std::string_view from : {"//", "/./"}) {
      if (size_t at = path.find(from); at != std::string::npos) {
        path.replace(at, from.size(), "/");
        changed = true;
      }
    }
    if (path.starts_with("/../")) {
      path.replace(0, 4, "/");
      changed = true;
    }
    if (size_t at = path.find("/../"); !changed && at != std::string::npos) {
      const size_t start = path.rfind('/', at - 1);
      path.replace(start, at + 4 - start, "/");
      changed = true;
    }
  }
  if (path.size() > 1) path.pop_back();
  return path;
}

void checkStandardization(const platform::FileURL& base, std::string_view path) {
  const platform::FileURL file = platform::FileURL::fileURLWithPath(path, base).standardized();
  const std::string standardized = file.path();
  require(standardized.starts_with('/'), "standardized paths are absolute");
  require(file.standardized() == file, "standardizing twice changes nothing");
  const std::string joined =
      path.starts_with('/') ? std::string(path) : base.path() + "/" + std::string(path);
  require(standardized == standardizedByRewriting(joined), "agrees with rewriting");

  // Containment by path text: the base directory's segments begin the path's; below the
  // root directory lies nothing.
  const std::string basePath = base.standardized().path();
  const auto inner = segmentsOf(standardized), outer = segmentsOf(basePath);
  const bool below = basePath == "/" ? standardized == "/"
                                     : inner.size() >= outer.size() &&
                                           std::equal(outer.begin(), outer.end(), inner.begin());
  require(platform::liesInside(standardized, basePath) == below, "containment compares segments");
  // A relative path that never climbs above its start stays inside the base directory.
  int depth = 0;
  bool climbsOut = path.starts_with('/');
  for (std::string_view segment : segmentsOf(path)) {
    if (segment == "..") climbsOut = climbsOut || --depth < 0;
    if (segment != "." && segment != "..") ++depth;
  }
  if (!climbsOut && basePath != "/") require(below, "a path that never climbs out stays inside");

  // Where the file system knows the path, its real path is standardized already.
  if (const std::optional<platform::FileURL> real = platform::realPath(file)) {
    require(real->standardized() == *real, "real paths are standardized");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t newline = input.find('\n');
  if (newline == std::string_view::npos) return 0;
  std::string basePath(input.substr(0, newline));
  if (!basePath.starts_with('/')) basePath.insert(0, "/");
  const std::string_view source = input.substr(newline + 1);
  const std::optional<std::string> decoded = platform::removingPercentEncoding(source);
  checkStandardization(platform::FileURL::fileURLWithPath(basePath),
                       decoded ? std::string_view(*decoded) : source);
  return 0;
}
