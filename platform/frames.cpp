// Messages over a stream: each one its length, 8 bytes little-endian, then its bytes.
#include "platform/frames.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace platform {
namespace {

constexpr size_t kHeaderBytes = 8;

std::string header(uint64_t length) {
  std::string bytes(kHeaderBytes, '\0');
  for (size_t i = 0; i < kHeaderBytes; ++i) bytes[i] = static_cast<char>(length >> (8 * i));
  return bytes;
}

uint64_t lengthIn(std::string_view bytes) {
  uint64_t length = 0;
  for (size_t i = 0; i < kHeaderBytes; ++i) {
    length |= static_cast<uint64_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
  }
  return length;
}

// A socket whose reader has gone fails the write instead of raising SIGPIPE.
bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (written < 0 && errno == ENOTSOCK) written = write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

bool readAll(int fd, char* into, size_t size) {
  while (size > 0) {
    ssize_t got = read(fd, into, size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    into += got;
    size -= static_cast<size_t>(got);
  }
  return true;
}

}  // namespace

bool writeFrame(int fd, std::string_view message) {
  return writeAll(fd, header(message.size())) && writeAll(fd, message);
}

std::optional<std::string> readFrame(int fd, size_t maxBytes) {
  char bytes[kHeaderBytes];
  if (!readAll(fd, bytes, kHeaderBytes)) return std::nullopt;
  const uint64_t length = lengthIn(std::string_view(bytes, kHeaderBytes));
  if (length > maxBytes) return std::nullopt;
  std::string message(length, '\0');
  if (!readAll(fd, message.data(), message.size())) return std::nullopt;
  return message;
}

bool FrameReader::overlong() const {
  return buffer_.size() >= kHeaderBytes && lengthIn(buffer_) > maxBytes_;
}

std::optional<std::string> FrameReader::next() {
  if (buffer_.size() < kHeaderBytes || overlong()) return std::nullopt;
  const uint64_t length = lengthIn(buffer_);
  if (buffer_.size() - kHeaderBytes < length) return std::nullopt;
  std::string message = buffer_.substr(kHeaderBytes, length);
  buffer_.erase(0, kHeaderBytes + length);
  return message;
}

}  // namespace platform
