// What the window remembers for its user, in a small key file under their config directory.
#include "viewer/window/settings.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <cerrno>
#include <cstdio>

namespace viewer {
namespace {

constexpr const char* kGroup = "pages";
constexpr const char* kGithubExtras = "github-extras";

gchar* settingsPath() {
  return g_build_filename(g_get_user_config_dir(), "quillory", "viewer.conf", nullptr);
}

}  // namespace

bool githubExtrasRemembered() {
  gchar* path = settingsPath();
  GKeyFile* file = g_key_file_new();
  const bool wanted = g_key_file_load_from_file(file, path, G_KEY_FILE_KEEP_COMMENTS, nullptr) &&
                      g_key_file_get_boolean(file, kGroup, kGithubExtras, nullptr);
  g_key_file_free(file);
  g_free(path);
  return wanted;
}

void rememberGithubExtras(bool wanted) {
  gchar* path = settingsPath();
  GKeyFile* file = g_key_file_new();
  g_key_file_load_from_file(file, path, G_KEY_FILE_KEEP_COMMENTS, nullptr);
  g_key_file_set_boolean(file, kGroup, kGithubExtras, wanted);
  gchar* directory = g_path_get_dirname(path);
  GError* error = nullptr;
  if (g_mkdir_with_parents(directory, 0700) != 0) {
    std::fprintf(stderr, "quillory-view: %s: %s\n", directory, g_strerror(errno));
  } else if (!g_key_file_save_to_file(file, path, &error)) {
    std::fprintf(stderr, "quillory-view: %s\n", error->message);
    g_error_free(error);
  }
  g_free(directory);
  g_key_file_free(file);
  g_free(path);
}

}  // namespace viewer
