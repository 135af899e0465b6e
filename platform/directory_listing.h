// Finding the Markdown files below a directory.
#pragma once

#include <string>
#include <vector>

namespace platform {

// True when `path` names a directory (following symbolic links).
bool isDirectory(const std::string& path);

// The Markdown files (.md, .markdown, .mdown, .mkd, .mkdn, any letter case) below
// `directory`, at any depth, as paths relative to it, sorted. Directories that cannot be
// read are passed over.
std::vector<std::string> markdownFilesBelow(const std::string& directory);

}  // namespace platform
