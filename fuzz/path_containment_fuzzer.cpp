// Fuzzes resolving an image source against the base directory, standardization, and the
// containment test built on them. Input: the base directory's path, a line feed, the source.
#include <algorithm>
#include <vector>

#include "harness.h"
#include "platform/files.h"

namespace {

using fuzzing::require;
constexpr auto npos = std::string::npos;

std::vector<std::string_view> segmentsOf(std::string_view path) {
  std::vector<std::string_view> segments;
  for (size_t start = 0, end; start <= path.size(); start = end + 1) {
    end = std::min(path.find('/', start), path.size());
    if (end > start) segments.push_back(path.substr(start, end - start));
  }
  return segments;
}

// Standardizes by rewriting the text until nothing changes, a way apart from the segment list
// of the code under test: "//" and "/./" become "/", and so do "/NAME/../" and a leading "/../".
std::string standardizedByRewriting(std::string path) {
  path += '/';
  for (bool changed = true; changed;) {
    const size_t twice = std::min(path.find("//"), path.find("/./")), up = path.find("/../");
    if ((changed = twice != npos)) {
      path.replace(twice, path[twice + 1] == '/' ? 2 : 3, "/");
    } else if ((changed = up != npos)) {  // the first "/../" follows a NAME, or starts the path
      const size_t start = up == 0 ? 0 : path.rfind('/', up - 1);
      path.replace(start, up + 4 - start, "/");
    }
  }
  if (path.size() > 1) path.pop_back();
  return path;
}

void checkStandardization(const platform::FileURL& base, std::string_view path) {
  const platform::FileURL file = platform::FileURL::fileURLWithPath(path, base).standardized();
  const std::string standardized = file.path(), basePath = base.standardized().path();
  require(standardized.starts_with('/') && file.standardized() == file,
          "standardized paths are absolute, and standardizing again changes nothing");
  const std::string joined =
      path.starts_with('/') ? std::string(path) : base.path() + "/" + std::string(path);
  require(standardized == standardizedByRewriting(joined), "agrees with rewriting");

  // Containment by path text: the base directory's segments begin the path's; below the
  // root directory lies nothing.
  const auto inner = segmentsOf(standardized), outer = segmentsOf(basePath);
  const bool below = basePath == "/" ? standardized == "/"
                                     : inner.size() >= outer.size() &&
                                           std::equal(outer.begin(), outer.end(), inner.begin());
  require(platform::liesInside(standardized, basePath) == below, "containment compares segments");
  // A relative path that never climbs above its start stays inside the base directory.
  int depth = 0, lowest = 0;
  for (std::string_view segment : segmentsOf(path)) {
    lowest = std::min(lowest, depth += segment == ".." ? -1 : segment != ".");
  }
  require(below || path.starts_with('/') || lowest < 0 || basePath == "/",
          "a path that never climbs out stays inside");

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
