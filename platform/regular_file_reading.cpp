// Bounded reads of regular files, for input that must neither block nor run on without end.
#include "platform/regular_file_reading.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

#include "platform/file_descriptor.h"

namespace platform {
namespace {

bool isRegularFileWithin(const struct stat& info, size_t limit) {
  return S_ISREG(info.st_mode) && info.st_size >= 0 && static_cast<size_t>(info.st_size) <= limit;
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
  FileDescriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
  if (file.get() < 0) return std::nullopt;
  if (fstat(file.get(), &info) != 0 || !isRegularFileWithin(info, limit)) return std::nullopt;

  // One byte beyond the limit tells a file that grew since fstat from one that did not.
  const size_t ceiling = limit < SIZE_MAX ? limit + 1 : limit;
  std::string bytes;
  if (file.readUpTo(bytes, ceiling, static_cast<size_t>(info.st_size) + 1) != 0 ||
      bytes.size() > limit) {
    return std::nullopt;
  }
  return bytes;
}

}  // namespace platform
