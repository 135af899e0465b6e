// Fuzzes the path handling of image inlining: percent-decoding, resolving a source
// against the base directory, standardization, and the containment test built on them.
// Input: the base directory's path, a line feed, the image source.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_url.h"
#include "platform/files.h"
#include "platform/text.h"
#include "requirement.h"

namespace {

using fuzzing::require;

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
    for (size_t at = path.find("/../"); !changed && at != std::string::npos;
         at = path.find("/../", at + 1)) {
      size_t start = path.rfind('/', at - 1);
      path.replace(start, at + 4 - start, "/");
      changed = true;
    }
  }
  if (path.size() > 1) path.pop_back();
  return path;
}

bool hasDotSegment(std::string_view path) {
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    std::string_view segment = path.substr(start, end - start);
    if (segment == "." || segment == "..") return true;
    start = end + 1;
  }
  return false;
}

// The containment test of image inlining, on standardized paths.
bool liesInside(const std::string& path, const std::string& directory) {
  return path == directory || (path.size() > directory.size() && path.starts_with(directory) &&
                               path[directory.size()] == '/');
}

void checkPercentDecoding(std::string_view source) {
  const std::optional<std::string> decoded = platform::removingPercentEncoding(source);
  if (!decoded) {
    require(source.find('%') != std::string_view::npos || !platform::isWellFormedUTF8(source),
            "decoding fails only for a \"%\" or ill-formed UTF-8");
    return;
  }
  require(platform::isWellFormedUTF8(*decoded), "decoded text is well-formed UTF-8");
  require(decoded->size() <= source.size(), "decoding never lengthens");
  if (source.find('%') == std::string_view::npos) require(*decoded == source, "nothing to decode");
  std::string encoded;
  for (unsigned char byte : *decoded) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    encoded += '%';
    encoded += kHex[byte >> 4];
    encoded += kHex[byte & 15];
  }
  require(platform::removingPercentEncoding(encoded) == decoded, "encoding round-trips");
}

void checkStandardization(const platform::FileURL& base, std::string_view path) {
  const platform::FileURL file = platform::FileURL::fileURLWithPath(path, base).standardized();
  const std::string standardized = file.path();
  require(standardized.starts_with('/'), "standardized paths are absolute");
  require(standardized == "/" || !standardized.ends_with('/'), "no trailing separator");
  require(standardized.find("//") == std::string::npos, "no repeated separators");
  require(!hasDotSegment(standardized), "no \".\" or \"..\" segment survives");
  require(file.standardized() == file, "standardizing twice changes nothing");
  const std::string joined =
      path.starts_with('/') ? std::string(path) : base.path() + "/" + std::string(path);
  require(standardized == standardizedByRewriting(joined), "agrees with rewriting");

  // A relative path that never climbs above its start stays inside the base directory.
  const std::string basePath = base.standardized().path();
  int depth = 0;
  bool climbsOut = path.starts_with('/');
  for (size_t start = 0; start <= path.size() && !climbsOut;) {
    size_t end = std::min(path.find('/', start), path.size());
    std::string_view segment = path.substr(start, end - start);
    if (segment == "..") climbsOut = --depth < 0;
    if (!segment.empty() && segment != "." && segment != "..") ++depth;
    start = end + 1;
  }
  if (!climbsOut && basePath != "/") {
    require(liesInside(standardized, basePath), "a path that never climbs out stays inside");
  }

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
  const platform::FileURL base = platform::FileURL::fileURLWithPath(basePath);

  checkPercentDecoding(source);
  const std::optional<std::string> decoded = platform::removingPercentEncoding(source);
  checkStandardization(base, decoded ? std::string_view(*decoded) : source);
  return 0;
}
