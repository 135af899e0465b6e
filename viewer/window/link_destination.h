// Where a link to a local file leads the window: the document to show, or why there is none.
#pragma once

#include <string>

namespace viewer {

struct LinkDestination {
  enum Kind {
    document,                // a Markdown file, or a directory's README: shown in the window
    missing,                 // nothing there
    directoryWithoutReadme,  // a directory with none of the README names
    otherFile,               // anything else: never opened by the window
  } kind;
  std::string path;  // the document, or the file or directory linked to
};

// For the absolute `path`. A directory leads to the first of README.md, readme.md,
// README.markdown and index.md in it. A Markdown file that cannot be read still counts
// as a document: the attempt to show it tells why.
LinkDestination destinationOf(const std::string& path);

// The names of those READMEs, for messages.
extern const char* const kReadmeNames;

}  // namespace viewer
