// Where a link to a local file leads the window.
#include "viewer/window/link_destination.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>

#include "viewer/window/navigation_policy.h"

namespace viewer {

const char* const kReadmeNames = "README.md, readme.md, README.markdown or index.md";

LinkDestination destinationOf(const std::string& path) {
  constexpr std::array<const char*, 4> kReadmes = {"README.md", "readme.md", "README.markdown",
                                                   "index.md"};
  GStatBuf info;
  if (g_stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return {LinkDestination::missing, path};
  } else if (S_ISDIR(info.st_mode)) {
    for (const char* name : kReadmes) {
      gchar* readme = g_build_filename(path.c_str(), name, nullptr);
      std::string found = readme;
      g_free(readme);
      if (g_stat(found.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) {
        return {LinkDestination::document, found};
      }
    }
    return {LinkDestination::directoryWithoutReadme, path};
  }
  return {namesMarkdownFile(path) ? LinkDestination::document : LinkDestination::otherFile, path};
}

}  // namespace viewer
