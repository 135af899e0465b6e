// An open file descriptor that closes itself, and bounded reads from one.
#include "platform/file_descriptor.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace platform {

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) close(fd_);
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

int FileDescriptor::readUpTo(std::string& bytes, size_t limit, size_t expectedSize) const {
  bytes.reserve(std::min(limit, bytes.size() + expectedSize));
  // Read straight into the result; a file whose size is known needs one pass.
  while (bytes.size() < limit) {
    size_t filled = bytes.size();
    size_t want = std::min(std::max<size_t>(bytes.capacity() - filled, 1 << 16), limit - filled);
    bytes.resize(filled + want);
    ssize_t got = read(fd_, bytes.data() + filled, want);
    bytes.resize(filled + static_cast<size_t>(std::max<ssize_t>(got, 0)));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0) break;
  }
  return 0;
}

}  // namespace platform
