// Files for tests: temporary directories, whole-file reads, opens counted by inotify.
#pragma once

#include <stdlib.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

namespace testing_support {

// A temporary directory, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quillory-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // Writes `bytes` to `relative` below the directory, making parent directories.
  std::filesystem::path write(const std::string& relative, std::string_view bytes) const {
    const std::filesystem::path file = path_ / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + file.string());
    return file;
  }

 private:
  std::filesystem::path path_;
};

inline std::string readWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Counts the opens of each file in the watched directories (not below them) while it lives.
class OpenCounter {
 public:
  explicit OpenCounter(std::initializer_list<std::filesystem::path> directories)
      : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    for (const auto& directory : directories)
      if (inotify_add_watch(fd_, directory.c_str(), IN_OPEN) < 0)
        throw std::runtime_error("cannot watch");
  }
  ~OpenCounter() { close(fd_); }
  OpenCounter(const OpenCounter&) = delete;
  std::map<std::string, int> counts() {  // by file name, since the counter was made
    alignas(inotify_event) char buffer[65536];
    for (ssize_t length; (length = read(fd_, buffer, sizeof buffer)) > 0;) {
      for (ssize_t at = 0; at < length;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (event->len > 0) ++counts_[event->name];
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    return counts_;
  }

 private:
  int fd_;
  std::map<std::string, int> counts_;
};

}  // namespace testing_support
