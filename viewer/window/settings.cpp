// What the window remembers for its user (the GitHub extras, the outline), in a small key
// file under their config directory.
#include "viewer/window/settings.h"

#include <fcntl.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <utility>

#include "platform/limits.h"

namespace viewer {
namespace {

constexpr const char* kGroup = "pages";
constexpr const char* kGithubExtras = "github-extras";
constexpr const char* kOutline = "outline";

gchar* settingsPath() {
  return g_build_filename(g_get_user_config_dir(), "quillory", "viewer.conf", nullptr);
}

// The settings file's key file, empty when there is none. A FIFO or a device there could
// block a read for ever, so the file is opened without waiting and read only when it is a
// regular file; anything else is said once and taken as no settings.
GKeyFile* loadSettings(const gchar* path) {
  GKeyFile* file = g_key_file_new();
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return file;
  struct stat info {};
  std::string text;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<size_t>(info.st_size) <= limits::settingsBytes) {
    text.resize(static_cast<size_t>(info.st_size));
    const ssize_t got = read(fd, text.data(), text.size());
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    g_key_file_load_from_data(file, text.data(), text.size(), G_KEY_FILE_KEEP_COMMENTS, nullptr);
  } else {
    static bool said = false;
    if (!std::exchange(said, true)) {
      std::fprintf(stderr, "quillory-view: %s: ignored: not a regular file of at most 64 KiB\n",
                   path);
    }
  }
  close(fd);
  return file;
}

// The setting `key`, or `fallback` when it is missing or not a boolean.
bool remembered(const char* key, bool fallback) {
  gchar* path = settingsPath();
  GKeyFile* file = loadSettings(path);
  GError* error = nullptr;
  const bool wanted = g_key_file_get_boolean(file, kGroup, key, &error);
  const bool missing = error != nullptr;
  if (missing) g_error_free(error);
  g_key_file_free(file);
  g_free(path);
  return missing ? fallback : wanted;
}

void remember(const char* key, bool wanted) {
  gchar* path = settingsPath();
  GKeyFile* file = loadSettings(path);
  g_key_file_set_boolean(file, kGroup, key, wanted);
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

}  // namespace

bool githubExtrasRemembered() { return remembered(kGithubExtras, true); }

void rememberGithubExtras(bool wanted) { remember(kGithubExtras, wanted); }

bool outlineRemembered() { return remembered(kOutline, false); }

void rememberOutline(bool shown) { remember(kOutline, shown); }

std::string configDirectoryProblem() {
  const gchar* directory = g_get_user_config_dir();
  GStatBuf info;
  if (g_stat(directory, &info) == 0 ? S_ISDIR(info.st_mode) : errno != ENOTDIR) return {};
  return std::string("the configuration directory ") + directory +
         " ($XDG_CONFIG_HOME): " + g_strerror(ENOTDIR);
}

}  // namespace viewer
