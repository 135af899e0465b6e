// The find-in-page bar, driven by WebKit's find controller.
#include "viewer/window/find_bar.h"

#include <string>

namespace viewer {
namespace {

constexpr guint kMaxCountedMatches = 1000;

struct FindParts {
  WebKitWebView* view;
  GtkWidget* entry;
  GtkWidget* status;
};

WebKitFindController* controllerOf(FindParts* parts) {
  return webkit_web_view_get_find_controller(parts->view);
}

void onSearchChanged(GtkSearchEntry* entry, gpointer data) {
  auto* parts = static_cast<FindParts*>(data);
  const char* text = gtk_editable_get_text(GTK_EDITABLE(entry));
  if (*text == '\0') {
    webkit_find_controller_search_finish(controllerOf(parts));
    gtk_label_set_text(GTK_LABEL(parts->status), "");
    return;
  }
  webkit_find_controller_search(
      controllerOf(parts), text,
      WEBKIT_FIND_OPTIONS_CASE_INSENSITIVE | WEBKIT_FIND_OPTIONS_WRAP_AROUND, kMaxCountedMatches);
}

void onFoundText(WebKitFindController*, guint matches, gpointer status) {
  std::string text = matches > kMaxCountedMatches
                         ? "more than " + std::to_string(kMaxCountedMatches) + " matches"
                     : matches == 1 ? "1 match"
                                    : std::to_string(matches) + " matches";
  gtk_label_set_text(GTK_LABEL(status), text.c_str());
}

void onFailedToFind(WebKitFindController*, gpointer status) {
  gtk_label_set_text(GTK_LABEL(status), "No matches");
}

void onNext(GtkWidget*, gpointer data) {
  webkit_find_controller_search_next(controllerOf(static_cast<FindParts*>(data)));
}

void onPrevious(GtkWidget*, gpointer data) {
  webkit_find_controller_search_previous(controllerOf(static_cast<FindParts*>(data)));
}

void hideBar(GtkWidget* bar, FindParts* parts) {
  gtk_widget_set_visible(bar, FALSE);
  webkit_find_controller_search_finish(controllerOf(parts));
  gtk_label_set_text(GTK_LABEL(parts->status), "");
  gtk_widget_grab_focus(GTK_WIDGET(parts->view));
}

}  // namespace

// A plain box shown and hidden at once: a sliding bar would drop the first keys typed
// after Ctrl+F, while its entry is not yet on screen to take them.
GtkWidget* createFindBar(WebKitWebView* view) {
  GtkWidget* entry = gtk_search_entry_new();
  gtk_widget_set_size_request(entry, 320, -1);
  GtkWidget* status = gtk_label_new("");
  gtk_widget_set_hexpand(status, TRUE);
  gtk_label_set_xalign(GTK_LABEL(status), 0);
  GtkWidget* close = gtk_button_new_from_icon_name("window-close-symbolic");
  gtk_button_set_has_frame(GTK_BUTTON(close), FALSE);
  gtk_widget_set_tooltip_text(close, "Close the find bar (Escape)");

  GtkWidget* bar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
  gtk_widget_add_css_class(bar, "toolbar");
  gtk_box_append(GTK_BOX(bar), entry);
  gtk_box_append(GTK_BOX(bar), status);
  gtk_box_append(GTK_BOX(bar), close);
  gtk_widget_set_visible(bar, FALSE);

  auto* parts = new FindParts{view, entry, status};
  g_object_set_data_full(G_OBJECT(bar), "find-parts", parts,
                         [](gpointer data) { delete static_cast<FindParts*>(data); });
  g_signal_connect(entry, "search-changed", G_CALLBACK(onSearchChanged), parts);
  g_signal_connect(entry, "activate", G_CALLBACK(onNext), parts);
  g_signal_connect(entry, "next-match", G_CALLBACK(onNext), parts);
  g_signal_connect(entry, "previous-match", G_CALLBACK(onPrevious), parts);
  g_signal_connect(entry, "stop-search", G_CALLBACK(+[](GtkSearchEntry* entry, gpointer data) {
                     hideBar(gtk_widget_get_parent(GTK_WIDGET(entry)),
                             static_cast<FindParts*>(data));
                   }),
                   parts);
  g_signal_connect(close, "clicked", G_CALLBACK(+[](GtkButton* button, gpointer data) {
                     hideBar(gtk_widget_get_parent(GTK_WIDGET(button)),
                             static_cast<FindParts*>(data));
                   }),
                   parts);
  WebKitFindController* controller = webkit_web_view_get_find_controller(view);
  g_signal_connect_object(controller, "found-text", G_CALLBACK(onFoundText), status,
                          G_CONNECT_DEFAULT);
  g_signal_connect_object(controller, "failed-to-find-text", G_CALLBACK(onFailedToFind), status,
                          G_CONNECT_DEFAULT);
  return bar;
}

void openFindBar(GtkWidget* bar) {
  gtk_widget_set_visible(bar, TRUE);
  auto* parts = static_cast<FindParts*>(g_object_get_data(G_OBJECT(bar), "find-parts"));
  gtk_widget_grab_focus(parts->entry);
  gtk_editable_select_region(GTK_EDITABLE(parts->entry), 0, -1);
}

}  // namespace viewer
