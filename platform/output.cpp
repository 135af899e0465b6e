// Writing pages out: to files, replaced whole or written in place, and to standard output.
#include "platform/output.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <set>
#include <string_view>
#include <thread>

#include "platform/files.h"
#include "platform/process.h"

namespace platform {
namespace {

// Creating, renaming and removing a temporary file all happen under this lock, and the
// interrupt holds it until the process has ended: no file is created or renamed into
// place once the interrupt has begun its removals.
std::mutex temporaryFilesMutex;

// The temporary files not yet renamed into place nor removed. Never destroyed, so that
// an interrupt during the process's exit still finds them.
std::set<std::string>& temporaryFiles() {
  static auto* files = new std::set<std::string>();
  return *files;
}

sigset_t interruptSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, signal);
  return signals;
}

[[noreturn]] void removeFilesWhenInterrupted(sigset_t signals) {
  int signal = 0;
  while (sigwait(&signals, &signal) != 0) {
  }
  temporaryFilesMutex.lock();  // kept until the end
  for (const std::string& file : temporaryFiles()) unlink(file.c_str());
  // End the way the signal would have ended the process, so that the caller sees it.
  endBySignal(signal);
}

// Creates a new file beside `path`, named after it with a dot and six random letters or
// digits, and records it. It is open for writing only: a confined process may write where
// it may not read. Returns its descriptor, or -1 with errno set.
int createTemporaryFile(const std::string& path, std::string& name) {
  static constexpr std::string_view kLetters =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::lock_guard lock(temporaryFilesMutex);
  for (int attempt = 0; attempt < 100; ++attempt) {
    uint8_t random[6];
    if (secureRandomBytes(random) != 0) {
      for (uint8_t& byte : random) byte = ordinaryRandomByte();
    }
    name = path + ".";
    for (uint8_t byte : random) name += kLetters[byte % kLetters.size()];
    // Made with the mode of any file the user makes (the umask applies), so that no
    // fchmod is needed once the process is confined, where seccomp refuses it.
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd >= 0) temporaryFiles().insert(name);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Renames the temporary file `temporary` to `path` and forgets it. Returns 0, or the
// errno of a failed rename (the file is then still recorded).
int commitTemporaryFile(const std::string& temporary, const std::string& path) {
  std::lock_guard lock(temporaryFilesMutex);
  if (rename(temporary.c_str(), path.c_str()) != 0) return errno;
  temporaryFiles().erase(temporary);
  return 0;
}

// Removes the temporary file `temporary` and forgets it.
void discardTemporaryFile(const std::string& temporary) {
  std::lock_guard lock(temporaryFilesMutex);
  unlink(temporary.c_str());
  temporaryFiles().erase(temporary);
}

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

// Writes into the existing file at `path` when it is not a regular file. Returns false,
// having written nothing, when `path` is new or a regular file (those are replaced).
// The descriptor of this process that `path` names ("/dev/stdout", "/dev/fd/3",
// "/proc/self/fd/3"); -1 for any other path. Such a name is no file to replace.
int descriptorNamedBy(const std::string& path) {
  if (path == "/dev/stdout") return STDOUT_FILENO;
  if (path == "/dev/stderr") return STDERR_FILENO;
  for (std::string_view prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    if (!path.starts_with(prefix)) continue;
    const std::string number = path.substr(prefix.size());
    if (number.empty() || number.size() > 9 ||
        number.find_first_not_of("0123456789") != std::string::npos) {
      return -1;
    }
    return std::stoi(number);
  }
  return -1;
}

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

void removeTemporaryFilesOnInterrupt() {
  const sigset_t signals = interruptSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread(removeFilesWhenInterrupted, signals).detach();
}

void writeOutputFile(const std::string& path, std::string_view bytes) {
  // A file-size limit makes the write fail with EFBIG instead of ending the process
  // halfway through it.
  signal(SIGXFSZ, SIG_IGN);
  if (const int fd = descriptorNamedBy(path); fd >= 0) {
    signal(SIGPIPE, SIG_IGN);
    if (int error = writeAll(fd, bytes)) throw FileWriteError(error, path);
    return;
  }
  if (writtenInPlace(path, bytes)) return;
  std::string temporary;
  int fd = createTemporaryFile(path, temporary);
  if (fd < 0) throw FileWriteError(errno, path);
  int error = writeAll(fd, bytes);
  if (error == 0 && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0) error = commitTemporaryFile(temporary, path);
  if (error != 0) {
    discardTemporaryFile(temporary);
    throw FileWriteError(error, path);
  }
}

void allowWritingOutputFile(const std::string& path, Allowed& allowed) {
  if (descriptorNamedBy(path) >= 0) return;  // already open
  struct stat info {};
  if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
    allowed.writeFiles.push_back(path);
  } else {
    allowed.writeBeneath.push_back(
        FileURL::fileURLWithPath(path).deletingLastPathComponent().path());
  }
}

void writeStandardOutput(std::string_view bytes) {
  // A reader that has gone is reported as EPIPE, not by a signal.
  signal(SIGPIPE, SIG_IGN);
  if (int error = writeAll(STDOUT_FILENO, bytes)) throw FileWriteError(error, "standard output");
}

void makeDirectories(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::create_directories(path, error);
  // "File exists" means a name on the way that is no directory, such as a symbolic link
  // that leads nowhere: the user hears what is wrong with `path` itself, the missing
  // target ("No such file or directory") or "Not a directory".
  if (error == std::errc::file_exists) {
    const fs::file_status found = fs::status(path, error);
    if (!error && !fs::is_directory(found))
      error = std::make_error_code(std::errc::not_a_directory);
  }
  if (error) throw FileWriteError(error.value(), path);
}

}  // namespace platform
