// The window's outline panel: a list of the page's headings, indented into a tree, and the
// button that toggles it.
#include "viewer/window/outline_panel.h"

#include <utility>

namespace viewer {
namespace {

constexpr int kIndentPerDepth = 14;
constexpr const char* kIdKey = "quillory-heading-id";
constexpr const char* kPartsKey = "quillory-outline";

struct OutlineParts {
  GtkWidget* note;
  GtkListBox* list;
  std::function<void(const std::string&)> chosen;
};

OutlineParts* partsOf(GtkWidget* panel) {
  return static_cast<OutlineParts*>(g_object_get_data(G_OBJECT(panel), kPartsKey));
}

const char* idOfRow(GtkListBoxRow* row) {
  return row == nullptr ? nullptr
                        : static_cast<const char*>(g_object_get_data(G_OBJECT(row), kIdKey));
}

GtkWidget* headingRow(const PageHeading& heading) {
  GtkWidget* label = gtk_label_new(heading.text.empty() ? "(untitled)" : heading.text.c_str());
  gtk_label_set_xalign(GTK_LABEL(label), 0);
  gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
  gtk_widget_set_tooltip_text(label, heading.text.c_str());
  gtk_widget_set_margin_start(label, 8 + kIndentPerDepth * heading.depth);
  gtk_widget_set_margin_end(label, 8);
  gtk_widget_set_margin_top(label, 3);
  gtk_widget_set_margin_bottom(label, 3);
  if (heading.depth == 0) gtk_widget_add_css_class(label, "heading");
  GtkWidget* row = gtk_list_box_row_new();
  gtk_list_box_row_set_child(GTK_LIST_BOX_ROW(row), label);
  if (heading.id.empty()) {
    gtk_list_box_row_set_activatable(GTK_LIST_BOX_ROW(row), FALSE);
    gtk_list_box_row_set_selectable(GTK_LIST_BOX_ROW(row), FALSE);
    gtk_widget_add_css_class(label, "dim-label");
  } else {
    g_object_set_data_full(G_OBJECT(row), kIdKey, g_strdup(heading.id.c_str()), g_free);
  }
  return row;
}

}  // namespace

GtkWidget* createOutlinePanel(std::function<void(const std::string& id)> chosen) {
  GtkWidget* panel = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_widget_set_size_request(panel, kOutlineWidth / 2, -1);
  auto* parts =
      new OutlineParts{gtk_label_new(nullptr), GTK_LIST_BOX(gtk_list_box_new()), std::move(chosen)};
  g_object_set_data_full(G_OBJECT(panel), kPartsKey, parts,
                         [](gpointer data) { delete static_cast<OutlineParts*>(data); });
  gtk_label_set_wrap(GTK_LABEL(parts->note), TRUE);
  gtk_widget_set_margin_top(parts->note, 8);
  gtk_widget_set_margin_bottom(parts->note, 8);
  gtk_widget_set_margin_start(parts->note, 12);
  gtk_widget_set_margin_end(parts->note, 12);
  gtk_widget_add_css_class(parts->note, "dim-label");
  gtk_widget_add_css_class(GTK_WIDGET(parts->list), "navigation-sidebar");
  g_signal_connect(parts->list, "row-activated",
                   G_CALLBACK(+[](GtkListBox*, GtkListBoxRow* row, gpointer data) {
                     if (const char* id = idOfRow(row))
                       static_cast<OutlineParts*>(data)->chosen(id);
                   }),
                   parts);
  GtkWidget* scroller = gtk_scrolled_window_new();
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_NEVER,
                                 GTK_POLICY_AUTOMATIC);
  gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scroller), GTK_WIDGET(parts->list));
  gtk_widget_set_vexpand(scroller, TRUE);
  gtk_box_append(GTK_BOX(panel), parts->note);
  gtk_box_append(GTK_BOX(panel), scroller);
  return panel;
}

void setOutline(GtkWidget* panel, const std::vector<PageHeading>& headings, bool needsExtras) {
  OutlineParts* parts = partsOf(panel);
  const char* marked = idOfRow(gtk_list_box_get_selected_row(parts->list));
  const std::string wasMarked = marked == nullptr ? "" : marked;
  while (GtkWidget* row = gtk_widget_get_first_child(GTK_WIDGET(parts->list))) {
    gtk_list_box_remove(parts->list, row);
  }
  bool withoutId = false;
  for (const PageHeading& heading : headings) {
    GtkWidget* row = headingRow(heading);
    gtk_list_box_append(parts->list, row);
    withoutId = withoutId || heading.id.empty();
    if (!wasMarked.empty() && heading.id == wasMarked) {
      gtk_list_box_select_row(parts->list, GTK_LIST_BOX_ROW(row));
    }
  }
  const char* note = headings.empty()           ? "No headings"
                     : needsExtras && withoutId ? "Headings need the GitHub extras (Ctrl+G)"
                                                : nullptr;
  gtk_label_set_text(GTK_LABEL(parts->note), note);
  gtk_widget_set_visible(parts->note, note != nullptr);
}

GtkWidget* outlineToggle(const char* actionName) {
  GtkWidget* button = gtk_toggle_button_new();
  gtk_button_set_icon_name(GTK_BUTTON(button), "sidebar-show-symbolic");
  gtk_widget_set_tooltip_text(button, "Outline (F9)");
  gtk_actionable_set_action_name(GTK_ACTIONABLE(button), actionName);
  return button;
}

}  // namespace viewer
