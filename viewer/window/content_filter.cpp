// A WebKit content rule list that blocks every load except data: URIs and the page. The
// compiled rules live in a temporary directory only until they are loaded.
#include "viewer/window/content_filter.h"

#include <glib/gstdio.h>

namespace viewer {
namespace {

constexpr const char* kFilterId = "quillory-view-block-remote";

std::string rulesFor(const std::string& pageScheme) {
  return R"([{"trigger":{"url-filter":".*"},"action":{"type":"block"}},)"
         R"({"trigger":{"url-filter":"^data:"},"action":{"type":"ignore-previous-rules"}},)"
         R"({"trigger":{"url-filter":"^)" +
         pageScheme + R"(:"},"action":{"type":"ignore-previous-rules"}}])";
}

struct Installation {
  WebKitUserContentManager* manager;
  WebKitUserContentFilterStore* store = nullptr;
  std::string directory;
  std::function<void(const std::string&)> done;
  std::string failure;
};

void finish(Installation* installation) {
  if (installation->store != nullptr) g_object_unref(installation->store);
  if (!installation->directory.empty()) g_rmdir(installation->directory.c_str());
  installation->done(installation->failure);
  g_object_unref(installation->manager);
  delete installation;
}

void onRemoved(GObject* store, GAsyncResult* result, gpointer data) {
  webkit_user_content_filter_store_remove_finish(WEBKIT_USER_CONTENT_FILTER_STORE(store), result,
                                                 nullptr);
  finish(static_cast<Installation*>(data));
}

void onSaved(GObject* store, GAsyncResult* result, gpointer data) {
  auto* installation = static_cast<Installation*>(data);
  GError* error = nullptr;
  WebKitUserContentFilter* filter = webkit_user_content_filter_store_save_finish(
      WEBKIT_USER_CONTENT_FILTER_STORE(store), result, &error);
  if (filter == nullptr) {
    installation->failure = error->message;
    g_error_free(error);
    finish(installation);
    return;
  }
  webkit_user_content_manager_add_filter(installation->manager, filter);
  webkit_user_content_filter_unref(filter);
  // The loaded rules stay in memory; the file they were compiled to is not needed again.
  webkit_user_content_filter_store_remove(installation->store, kFilterId, nullptr, onRemoved,
                                          installation);
}

}  // namespace

void installContentFilter(WebKitUserContentManager* manager, const std::string& pageScheme,
                          std::function<void(const std::string& failure)> done) {
  auto* installation = new Installation{
      WEBKIT_USER_CONTENT_MANAGER(g_object_ref(manager)), nullptr, {}, std::move(done), {}};
  GError* error = nullptr;
  gchar* directory = g_dir_make_tmp("quillory-view-XXXXXX", &error);
  if (directory == nullptr) {
    installation->failure = error->message;
    g_error_free(error);
    // `done` never runs before this call returns.
    g_idle_add_once([](gpointer data) { finish(static_cast<Installation*>(data)); }, installation);
    return;
  }
  installation->directory = directory;
  g_free(directory);
  installation->store = webkit_user_content_filter_store_new(installation->directory.c_str());
  std::string rules = rulesFor(pageScheme);
  GBytes* bytes = g_bytes_new(rules.data(), rules.size());
  webkit_user_content_filter_store_save(installation->store, kFilterId, bytes, nullptr, onSaved,
                                        installation);
  g_bytes_unref(bytes);
}

}  // namespace viewer
