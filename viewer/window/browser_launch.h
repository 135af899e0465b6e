// Hands a clicked link to the desktop's default web browser (or mail program).
#pragma once

#include <gtk/gtk.h>

#include <string>

namespace viewer {

// Returns at once; a failure to start the browser is reported on standard error.
void openInDefaultBrowser(GtkWidget* from, const std::string& uri);

}  // namespace viewer
