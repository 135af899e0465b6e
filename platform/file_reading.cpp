// Whole-file reads with the operating system's error on failure.
#include "platform/file_reading.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace platform {
namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::string readFile(const FileURL& url, size_t limit) {
  const std::string path = url.path();
  FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) throw FileReadError(errno, path);
  struct stat info {};
  if (fstat(file.get(), &info) != 0) throw FileReadError(errno, path);
  if (S_ISDIR(info.st_mode)) throw FileReadError(EISDIR, path);

  std::string bytes;
  if (S_ISREG(info.st_mode) && info.st_size > 0) {
    bytes.reserve(std::min<size_t>(static_cast<size_t>(info.st_size), limit));
  }
  // Read straight into the result; a file whose size is known needs one pass.
  while (bytes.size() < limit) {
    size_t filled = bytes.size();
    size_t want = std::min(std::max<size_t>(bytes.capacity() - filled, 1 << 16), limit - filled);
    bytes.resize(filled + want);
    ssize_t got = read(file.get(), bytes.data() + filled, want);
    if (got < 0) {
      bytes.resize(filled);
      if (errno == EINTR) continue;
      throw FileReadError(errno, path);
    }
    bytes.resize(filled + static_cast<size_t>(got));
    if (got == 0) break;
  }
  return bytes;
}

}  // namespace platform
