// The window's header bar: the document's name, the back and forward buttons, and room for
// more buttons at its end.
#pragma once

#include <gtk/gtk.h>

#include <functional>

namespace viewer {

// A header bar whose back and forward buttons call `step` with -1 and +1.
GtkWidget* createHeaderBar(std::function<void(int step)> step);

// Puts `widget` at the end of the bar, inside of those put there before.
void addToHeaderBar(GtkWidget* headerBar, GtkWidget* widget);

// Whether there is an entry to go back or forward to.
void setHistoryButtons(GtkWidget* headerBar, bool back, bool forward);

}  // namespace viewer
