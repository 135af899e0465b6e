// Bounded reads of regular files, for input that must neither block nor run on without end.
#include "platform/regular_file_reading.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace platform {
namespace {

class OpenFile {
 public:
  explicit OpenFile(int fd) : fd_(fd) {}
  ~OpenFile() {
    if (fd_ >= 0) close(fd_);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

bool isRegularFileWithin(const struct stat& info, size_t limit) {
  return S_ISREG(info.st_mode) && info.st_size >= 0 && static_cast<size_t>(info.st_size) <= limit;
}

// Reads until end of file or until `ceiling` bytes have come, whichever is first.
std::optional<std::string> readUpTo(int fd, size_t ceiling, size_t expected) {
  std::string bytes(std::min(expected, ceiling), '\0');
  size_t filled = 0;
  while (filled < ceiling) {
    if (filled == bytes.size()) bytes.resize(std::min(ceiling, std::max<size_t>(filled * 2, 4096)));
    ssize_t got = read(fd, bytes.data() + filled, bytes.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    filled += static_cast<size_t>(got);
  }
  bytes.resize(filled);
  return bytes;
}

}  // namespace

std::optional<std::string> readRegularFile(const FileURL& url, size_t limit) {
  const std::string path = url.path();
  if (path.find('\0') != std::string::npos) return std::nullopt;

  // Looking before opening keeps devices from ever being opened; the check on the open
  // descriptor below is the one that counts, should the path change in between.
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0 || !isRegularFileWithin(info, limit)) return std::nullopt;

  // O_NONBLOCK: should a FIFO have taken the file's place, opening it does not wait for
  // a writer. It has no effect on reading a regular file.
  OpenFile file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
  if (file.get() < 0) return std::nullopt;
  if (fstat(file.get(), &info) != 0 || !isRegularFileWithin(info, limit)) return std::nullopt;

  // One byte beyond the limit tells a file that grew since fstat from one that did not.
  const size_t ceiling = limit < SIZE_MAX ? limit + 1 : limit;
  std::optional<std::string> bytes =
      readUpTo(file.get(), ceiling, static_cast<size_t>(info.st_size) + 1);
  if (!bytes || bytes->size() > limit) return std::nullopt;
  return bytes;
}

}  // namespace platform
