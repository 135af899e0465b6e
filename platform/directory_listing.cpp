// Finding the Markdown files below a directory.
#include "platform/directory_listing.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <string_view>

namespace platform {
namespace {

bool isMarkdownName(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  static constexpr std::array<std::string_view, 5> kExtensions = {".md", ".markdown", ".mdown",
                                                                  ".mkd", ".mkdn"};
  return std::find(kExtensions.begin(), kExtensions.end(), extension) != kExtensions.end();
}

// True when `path` lies below `directory`, both real paths.
bool liesBelow(const std::filesystem::path& path, const std::filesystem::path& directory) {
  const auto [inDirectory, inPath] =
      std::mismatch(directory.begin(), directory.end(), path.begin(), path.end());
  return inDirectory == directory.end() && inPath != path.end();
}

}  // namespace

bool isDirectory(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

MarkdownFiles markdownFilesBelow(const std::string& directory) {
  namespace fs = std::filesystem;
  MarkdownFiles files;
  std::error_code error;
  const fs::path realDirectory = fs::canonical(directory, error);
  if (error) return files;
  fs::recursive_directory_iterator it(directory, fs::directory_options::skip_permission_denied,
                                      error);
  for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    std::error_code ignored;
    if (!it->is_regular_file(ignored) || !isMarkdownName(it->path())) continue;
    std::error_code unresolved;
    const fs::path real = fs::canonical(it->path(), unresolved);
    (!unresolved && liesBelow(real, realDirectory) ? files.inside : files.linkingOutside)
        .push_back(it->path().lexically_relative(directory).string());
  }
  std::sort(files.inside.begin(), files.inside.end());
  std::sort(files.linkingOutside.begin(), files.linkingOutside.end());
  return files;
}

}  // namespace platform
