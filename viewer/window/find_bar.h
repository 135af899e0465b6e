// The find-in-page bar: a search entry over the page that highlights and steps through
// the matches.
#pragma once

#include <gtk/gtk.h>
#include <webkit/webkit.h>

namespace viewer {

// A bar for `view`, hidden until openFindBar(). Enter or Ctrl+G goes to the next match,
// Ctrl+Shift+G to the previous one, Escape hides the bar.
GtkWidget* createFindBar(WebKitWebView* view);

// Shows the bar and puts the cursor in its entry, its text selected.
void openFindBar(GtkWidget* bar);

}  // namespace viewer
