// Writing pages out: to files, replaced whole or written in place, and to standard output.
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

// Writes into the existing file at `path` when it is not a regular file. Returns false,
// having written nothing, when `path` is new or a regular file (those are replaced).
bool writtenInPlace(const std::string& path, std::string_view bytes) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode) || S_ISDIR(info.st_mode)) {
    return false;
  }
  // Opening a FIFO waits for its reader, as a shell's redirection does.
  const int fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) throw FileWriteError(errno, path);
  // It may have been swapped for a regular file meanwhile: never write into one in place.
  if (fstat(fd, &info) != 0 || S_ISREG(info.st_mode)) {
    close(fd);
    return false;
  }
  // A reader that has gone is reported as EPIPE, not by a signal.
  signal(SIGPIPE, SIG_IGN);
  int error = writeAll(fd, bytes);
  if (close(fd) != 0 && error == 0) error = errno;
  if (error != 0) throw FileWriteError(error, path);
  return true;
}

}  // namespace

void writeOutputFile(const std::string& path, std::string_view bytes) {
  // A file-size limit makes the write fail with EFBIG instead of ending the process
  // halfway through it.
  signal(SIGXFSZ, SIG_IGN);
  if (writtenInPlace(path, bytes)) return;
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
