// Writing pages out: whole files replaced atomically, and standard output.
#include "platform/file_writing.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/temporary_files.h"

namespace platform {
namespace {

int writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return 0;
}

// The process's file-creation mask, read without changing it (umask() would race with
// other threads).
mode_t creationMask() {
  static const mode_t mask = [] {
    mode_t value = 022;
    if (FILE* status = std::fopen("/proc/self/status", "re")) {
      char line[256];
      while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::sscanf(line, "Umask: %o", &value) == 1) break;
      }
      std::fclose(status);
    }
    return value;
  }();
  return mask;
}

}  // namespace

void writeFileAtomically(const std::string& path, std::string_view bytes) {
  // A file-size limit makes the write fail with EFBIG instead of ending the process
  // halfway through it.
  signal(SIGXFSZ, SIG_IGN);
  std::string temporary = path + ".XXXXXX";
  int fd = createTemporaryFile(temporary);
  if (fd < 0) throw FileWriteError(errno, path);
  int error = writeAll(fd, bytes);
  // mkostemp made the file private; a page gets the mode of any file the user makes.
  if (error == 0 && fchmod(fd, 0666 & ~creationMask()) != 0) error = errno;
  if (error == 0 && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0) error = commitTemporaryFile(temporary, path);
  if (error != 0) {
    discardTemporaryFile(temporary);
    throw FileWriteError(error, path);
  }
}

int writeStandardOutput(std::string_view bytes) {
  // A reader that has gone is reported as EPIPE, not by a signal.
  signal(SIGPIPE, SIG_IGN);
  return writeAll(STDOUT_FILENO, bytes);
}

void makeDirectories(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string prefix = path.substr(0, slash);
    if (!prefix.empty() && mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
      throw FileWriteError(errno, path);
    }
    if (slash == std::string::npos) break;
  }
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) throw FileWriteError(errno, path);
  if (!S_ISDIR(info.st_mode)) throw FileWriteError(ENOTDIR, path);
}

}  // namespace platform
