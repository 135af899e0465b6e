// A plain panel that tells, in place of the page, why there is no page to show.
#include "viewer/window/message_view.h"

namespace viewer {
namespace {

GtkWidget* wrappingLabel(double scale, bool bold) {
  GtkWidget* label = gtk_label_new("");
  gtk_label_set_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
  gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_CENTER);
  gtk_label_set_max_width_chars(GTK_LABEL(label), 60);
  PangoAttrList* attributes = pango_attr_list_new();
  pango_attr_list_insert(attributes, pango_attr_scale_new(scale));
  if (bold) pango_attr_list_insert(attributes, pango_attr_weight_new(PANGO_WEIGHT_BOLD));
  gtk_label_set_attributes(GTK_LABEL(label), attributes);
  pango_attr_list_unref(attributes);
  return label;
}

}  // namespace

GtkWidget* createMessageView() {
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
  gtk_widget_set_valign(box, GTK_ALIGN_CENTER);
  gtk_widget_set_halign(box, GTK_ALIGN_CENTER);
  gtk_widget_set_margin_start(box, 32);
  gtk_widget_set_margin_end(box, 32);
  GtkWidget* headline = wrappingLabel(1.6, true);
  GtkWidget* detail = wrappingLabel(1.1, false);
  gtk_box_append(GTK_BOX(box), headline);
  gtk_box_append(GTK_BOX(box), detail);
  g_object_set_data(G_OBJECT(box), "headline", headline);
  g_object_set_data(G_OBJECT(box), "detail", detail);
  return box;
}

void setMessage(GtkWidget* messageView, const std::string& headline, const std::string& detail) {
  gtk_label_set_text(GTK_LABEL(g_object_get_data(G_OBJECT(messageView), "headline")),
                     headline.c_str());
  gtk_label_set_text(GTK_LABEL(g_object_get_data(G_OBJECT(messageView), "detail")), detail.c_str());
}

}  // namespace viewer
