// The status line: the address of the link under the pointer, over the bottom of the page,
// so that a click never goes somewhere the reader cannot see.
#pragma once

#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include <string>

namespace viewer {

// The page of `view` with the status line laid over it; put this in the window in place
// of the view. The line shows while the pointer is over a link, and only then.
GtkWidget* createPageWithLinkStatus(WebKitWebView* view);

// Says `text` on the status line of `page` (made by the function above) for a few seconds,
// in place of any link's address.
void showStatusMessage(GtkWidget* page, const std::string& text);

}  // namespace viewer
