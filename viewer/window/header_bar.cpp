// The window's header bar: the document's name, the back and forward buttons, and room for
// more buttons at its end.
#include "viewer/window/header_bar.h"

namespace viewer {
namespace {

using Step = std::function<void(int)>;

constexpr const char* kStepKey = "quillory-history-step";
constexpr const char* kBackKey = "quillory-back-button";
constexpr const char* kForwardKey = "quillory-forward-button";

GtkWidget* historyButton(GtkWidget* bar, const char* icon, const char* tooltip, int step) {
  GtkWidget* button = gtk_button_new_from_icon_name(icon);
  gtk_widget_set_tooltip_text(button, tooltip);
  gtk_widget_set_sensitive(button, FALSE);
  // The page keeps the keyboard's focus.
  gtk_widget_set_focus_on_click(button, FALSE);
  g_object_set_data(G_OBJECT(button), kStepKey, GINT_TO_POINTER(step));
  g_signal_connect(button, "clicked", G_CALLBACK(+[](GtkButton* clicked, gpointer bar) {
                     auto* step = static_cast<Step*>(g_object_get_data(G_OBJECT(bar), kStepKey));
                     (*step)(GPOINTER_TO_INT(g_object_get_data(G_OBJECT(clicked), kStepKey)));
                   }),
                   bar);
  gtk_header_bar_pack_start(GTK_HEADER_BAR(bar), button);
  return button;
}

}  // namespace

GtkWidget* createHeaderBar(std::function<void(int step)> step) {
  GtkWidget* bar = gtk_header_bar_new();
  g_object_set_data_full(G_OBJECT(bar), kStepKey, new Step(std::move(step)),
                         [](gpointer held) { delete static_cast<Step*>(held); });
  GtkWidget* back = historyButton(bar, "go-previous-symbolic", "Back (Alt+Left)", -1);
  GtkWidget* forward = historyButton(bar, "go-next-symbolic", "Forward (Alt+Right)", +1);
  g_object_set_data(G_OBJECT(bar), kBackKey, back);
  g_object_set_data(G_OBJECT(bar), kForwardKey, forward);
  return bar;
}

void addToHeaderBar(GtkWidget* headerBar, GtkWidget* widget) {
  gtk_header_bar_pack_end(GTK_HEADER_BAR(headerBar), widget);
}

void setHistoryButtons(GtkWidget* headerBar, bool back, bool forward) {
  gtk_widget_set_sensitive(GTK_WIDGET(g_object_get_data(G_OBJECT(headerBar), kBackKey)), back);
  gtk_widget_set_sensitive(GTK_WIDGET(g_object_get_data(G_OBJECT(headerBar), kForwardKey)),
                           forward);
}

}  // namespace viewer
