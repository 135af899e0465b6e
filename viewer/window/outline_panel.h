// The window's outline: a side panel listing the page's headings as a tree, and the
// header-bar button that shows and hides it.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

#include "viewer/window/page_headings.h"

namespace viewer {

// Width the panel opens at, beside the page.
inline constexpr int kOutlineWidth = 240;

// A panel listing headings, each indented by its depth; `chosen` runs with a heading's id
// when its entry is clicked or activated from the keyboard.
GtkWidget* createOutlinePanel(std::function<void(const std::string& id)> chosen);

// Lists `headings`; the entry chosen before stays marked where its id is still listed.
// Headings without an id are listed but cannot be chosen; with `needsExtras`, the panel
// says that the GitHub extras give them their ids.
void setOutline(GtkWidget* panel, const std::vector<PageHeading>& headings, bool needsExtras);

// A toggle button for a header bar that follows the stateful boolean action `actionName`
// (such as "window.outline") and changes it.
GtkWidget* outlineToggle(const char* actionName);

}  // namespace viewer
