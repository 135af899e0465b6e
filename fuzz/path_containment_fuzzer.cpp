// Fuzzes resolving an image source against the base directory, standardization, and the
// containment test built on them. Input: the base directory's path, a line feed, the source.
#include <filesystem>

#include "harness.h"
#include "platform/files.h"

using fuzzing::require;

static void checkStandardization(const platform::FileURL& base, std::string_view path) {
  const platform::FileURL file = platform::FileURL::fileURLWithPath(path, base).standardized();
  const std::string standardized = file.path(), basePath = base.standardized().path();
  require(standardized.starts_with('/') && file.standardized() == file,
          "standardized paths are absolute, and standardizing again changes nothing");
  // The references come from std::filesystem, apart from the code under test: its lexical
  // normalization keeps a trailing "/", or all of a path of slashes alone; below the root
  // directory lies nothing.
  const std::filesystem::path joined =
      path.starts_with('/') ? std::string(path) : base.path() + "/" + std::string(path);
  std::string normal = joined.lexically_normal().string();
  while (normal.size() > 1 && normal.ends_with('/')) normal.pop_back();
  require(standardized == normal, "agrees with lexical normalization");
  const std::filesystem::path relative = std::filesystem::path(normal).lexically_relative(basePath);
  const bool below =
      basePath == "/" ? standardized == "/" : !relative.empty() && *relative.begin() != "..";
  require(platform::liesInside(standardized, basePath) == below,
          "containment agrees with the relative path");

  if (const std::optional<platform::FileURL> real = platform::realPath(file))
    require(real->standardized() == *real, "real paths are standardized");
}

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
