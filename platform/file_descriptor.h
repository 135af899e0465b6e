// An open file descriptor that closes itself, and bounded reads from one.
#pragma once

#include <cstddef>
#include <string>
#include <utility>

namespace platform {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor();
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  // Moving hands the descriptor over; the one moved from holds none.
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;

  int get() const { return fd_; }

  // Appends to `bytes` what the file holds until its end or until `bytes` holds `limit`
  // bytes, whichever comes first; `expectedSize` (the file's size when known) sizes the
  // buffer. Returns 0, or the errno of a failed read.
  int readUpTo(std::string& bytes, size_t limit, size_t expectedSize = 0) const;

 private:
  int fd_;
};

}  // namespace platform
