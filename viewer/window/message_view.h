// A plain panel that tells, in place of the page, why there is no page to show.
#pragma once

#include <gtk/gtk.h>

#include <string>

namespace viewer {

GtkWidget* createMessageView();

// Shows `headline` in large type above `detail`. Both are plain text.
void setMessage(GtkWidget* messageView, const std::string& headline, const std::string& detail);

}  // namespace viewer
