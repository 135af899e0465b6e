// The status line: the address of the link under the pointer, over the bottom of the page.
#include "viewer/window/link_status.h"

#include "viewer/window/navigation_policy.h"

namespace viewer {
namespace {

constexpr const char* kStatusClass = "quillory-link-status";
// Where the page keeps its status line, and the timer of the message it shows, if any.
constexpr const char* kLabelKey = "quillory-status-label";
constexpr const char* kMessageTimerKey = "quillory-status-message";
constexpr guint kMessageMilliseconds = 6000;

bool showingMessage(gpointer label) {
  return g_object_get_data(G_OBJECT(label), kMessageTimerKey) != nullptr;
}

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
  if (showingMessage(label)) return;
  if (!webkit_hit_test_result_context_is_link(hit)) {
    gtk_widget_set_visible(GTK_WIDGET(label), FALSE);
    return;
  }
  const char* uri = webkit_hit_test_result_get_link_uri(hit);
  // A link to a local file shows as the file's path, not as the page's own address of it.
  const auto local = uri != nullptr ? localTargetOf(uri) : std::nullopt;
  const std::string shown =
      local            ? local->path + (local->fragment.empty() ? "" : "#" + local->fragment)
      : uri != nullptr ? uri
                       : "";
  gtk_label_set_text(GTK_LABEL(label), shown.c_str());
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
                     if (!showingMessage(label)) gtk_widget_set_visible(GTK_WIDGET(label), FALSE);
                   }),
                   label);
  gtk_widget_add_controller(overlay, motion);
  g_object_set_data(G_OBJECT(overlay), kLabelKey, label);
  return overlay;
}

void showStatusMessage(GtkWidget* page, const std::string& text) {
  auto* label = static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(page), kLabelKey));
  gtk_label_set_text(GTK_LABEL(label), text.c_str());
  gtk_widget_set_visible(label, TRUE);
  // A message before it, and the label going with its page, end the timer.
  const guint timer = g_timeout_add_once(
      kMessageMilliseconds,
      [](gpointer label) {
        g_object_set_data(G_OBJECT(label), kMessageTimerKey, nullptr);
        gtk_widget_set_visible(GTK_WIDGET(label), FALSE);
      },
      label);
  g_object_set_data_full(G_OBJECT(label), kMessageTimerKey, GUINT_TO_POINTER(timer),
                         [](gpointer timer) {
                           if (g_main_context_find_source_by_id(nullptr, GPOINTER_TO_UINT(timer))) {
                             g_source_remove(GPOINTER_TO_UINT(timer));
                           }
                         });
}

}  // namespace viewer
