// Finding the Markdown files below a directory.
#pragma once

#include <string>
#include <vector>

namespace platform {

// True when `path` names a directory (following symbolic links).
bool isDirectory(const std::string& path);

// The Markdown files (.md, .markdown, .mdown, .mkd, .mkdn, any letter case) below a
// directory, at any depth, as paths relative to it, each list sorted.
struct MarkdownFiles {
  std::vector<std::string> inside;
  // Symbolic links whose real path lies outside the directory's real path: the files they
  // lead to are not the directory's to show.
  std::vector<std::string> linkingOutside;
};

// The Markdown files below `directory`. Links to directories are not followed, and
// directories that cannot be read are passed over.
MarkdownFiles markdownFilesBelow(const std::string& directory);

}  // namespace platform
