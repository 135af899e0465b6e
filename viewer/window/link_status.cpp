// The status line: the address of the link under the pointer, over the bottom of the page.
#include "viewer/window/link_status.h"

namespace viewer {
namespace {

constexpr const char* kStatusClass = "quillory-link-status";

// Follows the desktop theme's colours, on a box of its own so that it stands out from
// whatever the page draws beneath it.
constexpr const char* kStatusStyle =
    "label.quillory-link-status { background-color: @theme_bg_color; color: @theme_fg_color;"
    " border: 1px solid @borders; border-left: none; border-bottom: none;"
    " border-radius: 0 6px 0 0; padding: 2px 8px; }";

void installStatusStyle() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  GtkCssProvider* provider = gtk_css_provider_new();
  gtk_css_provider_load_from_data(provider, kStatusStyle, -1);
  gtk_style_context_add_provider_for_display(gdk_display_get_default(),
                                             GTK_STYLE_PROVIDER(provider),
                                             GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(provider);
}

void onMouseTargetChanged(WebKitWebView*, WebKitHitTestResult* hit, guint, gpointer label) {
  if (!webkit_hit_test_result_context_is_link(hit)) {
    gtk_widget_set_visible(GTK_WIDGET(label), FALSE);
    return;
  }
  const char* uri = webkit_hit_test_result_get_link_uri(hit);
  gtk_label_set_text(GTK_LABEL(label), uri != nullptr ? uri : "");
  gtk_widget_set_visible(GTK_WIDGET(label), TRUE);
}

}  // namespace

GtkWidget* createPageWithLinkStatus(WebKitWebView* view) {
  installStatusStyle();
  GtkWidget* label = gtk_label_new("");
  gtk_widget_add_css_class(label, kStatusClass);
  gtk_widget_set_halign(label, GTK_ALIGN_START);
  gtk_widget_set_valign(label, GTK_ALIGN_END);
  // A long address is cut at its end: its scheme and host, which say where it goes, stay.
  gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
  gtk_label_set_single_line_mode(GTK_LABEL(label), TRUE);
  gtk_label_set_max_width_chars(GTK_LABEL(label), 100);
  // The line never takes the pointer: the page beneath it can still be hovered and clicked.
  gtk_widget_set_can_target(label, FALSE);
  gtk_widget_set_visible(label, FALSE);

  GtkWidget* overlay = gtk_overlay_new();
  gtk_overlay_set_child(GTK_OVERLAY(overlay), GTK_WIDGET(view));
  gtk_overlay_add_overlay(GTK_OVERLAY(overlay), label);
  g_signal_connect_object(view, "mouse-target-changed", G_CALLBACK(onMouseTargetChanged), label,
                          G_CONNECT_DEFAULT);

  // The pointer may leave the window straight from a link; the line goes with it.
  GtkEventController* motion = gtk_event_controller_motion_new();
  g_signal_connect(motion, "leave", G_CALLBACK(+[](GtkEventControllerMotion*, gpointer label) {
                     gtk_widget_set_visible(GTK_WIDGET(label), FALSE);
                   }),
                   label);
  gtk_widget_add_controller(overlay, motion);
  return overlay;
}

}  // namespace viewer
