// The preview window of Markdown documents, from the first page to the window's close.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/preview_service.h"

namespace viewer {

// Runs once, when the window first shows something: with nothing for a page, or with why
// the file cannot be shown.
using FirstShown = std::function<void(const std::optional<platform::PreviewFailure>& failure)>;

// Opens a window of `application` on the Markdown file at `path` (absolute), or the README
// of the directory there, scrolled to the heading `fragment` names, if any. The window is
// titled by the document's file name, renders it again whenever it changes, and follows
// the page's links to other documents. It holds the application until it is closed.
void openPreviewWindow(GtkApplication* application, const std::string& path,
                       const std::string& fragment, FirstShown shown);

// Makes the next window now, hidden, and starts its web process, unless one waits.
void prepareWindow();

}  // namespace viewer
