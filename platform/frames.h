// Messages over a stream (a pipe or a socket): each one its length, 8 bytes little-endian,
// then its bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Writes one message to `fd`, waiting while the stream is full. False when the stream
// failed (the other end is gone).
bool writeFrame(int fd, std::string_view message);

// Reads one message from `fd`, waiting for all of it. Nothing at the end of the stream,
// on a failure, or for a message longer than `maxBytes`.
std::optional<std::string> readFrame(int fd, size_t maxBytes);

// Takes bytes as they come and hands out the whole messages among them.
class FrameReader {
 public:
  explicit FrameReader(size_t maxBytes) : maxBytes_(maxBytes) {}
  void append(std::string_view bytes) { buffer_.append(bytes); }
  // The next whole message, if it has come.
  std::optional<std::string> next();
  // True once a message says it is longer than `maxBytes`: the stream is not to be trusted.
  bool overlong() const;

 private:
  size_t maxBytes_;
  std::string buffer_;
};

}  // namespace platform
