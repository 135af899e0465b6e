// Whole-file reads with the operating system's error on failure.
#include "platform/file_reading.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_descriptor.h"

namespace platform {
std::string readFile(const FileURL& url, size_t limit) {
  const std::string path = url.path();
  FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) throw FileReadError(errno, path);
  struct stat info {};
  if (fstat(file.get(), &info) != 0) throw FileReadError(errno, path);
  if (S_ISDIR(info.st_mode)) throw FileReadError(EISDIR, path);

  std::string bytes;
  size_t size = S_ISREG(info.st_mode) ? static_cast<size_t>(info.st_size) : 0;
  if (int error = file.readUpTo(bytes, limit, size)) throw FileReadError(error, path);
  return bytes;
}

}  // namespace platform
