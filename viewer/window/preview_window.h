// The preview window for one Markdown file, from the first page to the window's close.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>

namespace viewer {

// Runs once, when the window first shows something: with an empty string for a page, or
// with the reason the file cannot be shown.
using FirstShown = std::function<void(const std::string& failure)>;

// Opens a window of `application` on the Markdown file at `path` (absolute), shown by
// its file name, which renders the file again whenever it changes. The window holds the
// application until it is closed.
void openPreviewWindow(GtkApplication* application, const std::string& path, FirstShown shown);

// Makes the next window now, hidden, and starts its web process, unless one waits.
void prepareWindow();

}  // namespace viewer
