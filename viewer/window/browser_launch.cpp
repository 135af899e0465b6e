// Hands a clicked link to the desktop's default web browser (or mail program).
#include "viewer/window/browser_launch.h"

#include <cstdio>

namespace viewer {
namespace {

void onLaunched(GObject*, GAsyncResult* result, gpointer data) {
  gchar* uri = static_cast<gchar*>(data);
  GError* error = nullptr;
  if (!g_app_info_launch_default_for_uri_finish(result, &error)) {
    std::fprintf(stderr, "quillory-view: cannot open %s: %s\n", uri, error->message);
    g_error_free(error);
  }
  g_free(uri);
}

}  // namespace

void openInDefaultBrowser(GtkWidget* from, const std::string& uri) {
  GdkAppLaunchContext* context = gdk_display_get_app_launch_context(gtk_widget_get_display(from));
  g_app_info_launch_default_for_uri_async(uri.c_str(), G_APP_LAUNCH_CONTEXT(context), nullptr,
                                          onLaunched, g_strdup(uri.c_str()));
  g_object_unref(context);
}

}  // namespace viewer
