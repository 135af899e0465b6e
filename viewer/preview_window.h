// The preview window for one Markdown file, from the first page to the window's close.
#pragma once

#include <string>

namespace viewer {

// Opens the window on `file`, runs it until it is closed and returns the exit status:
// 0 when it closed on a page, 1 when it closed on a message (a file that could not be
// read, or a page that could not be shown).
int runPreviewWindow(const std::string& file);

}  // namespace viewer
