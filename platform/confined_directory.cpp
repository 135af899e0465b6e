// Bounded reads of regular files below a directory, for input that must neither block,
// nor run on without end, nor lead out of the directory.
#include "platform/confined_directory.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace platform {
namespace {

// Directories are opened only to look up names in them.
constexpr int kDirectoryFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

bool isRegularFileWithin(const struct stat& info, size_t limit) {
  return S_ISREG(info.st_mode) && info.st_size >= 0 && static_cast<size_t>(info.st_size) <= limit;
}

FileDescriptor openedDirectory(const FileURL& url) {
  const std::string path = url.path();
  // The file system cannot name a path with a NUL byte in it; C would cut it short.
  if (path.find('\0') != std::string::npos) return FileDescriptor(-1);
  return FileDescriptor(open(path.c_str(), kDirectoryFlags));
}

// The directory at `path` below `directory` ("." for itself), reached without leaving
// `directory` at any step: a symbolic link on the way may lead elsewhere inside it, never
// out of it, nor through /proc's links to open files.
FileDescriptor directoryBeneath(const FileDescriptor& directory, const std::string& path) {
  open_how how{};
  how.flags = kDirectoryFlags;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  const long opened = syscall(SYS_openat2, directory.get(), path.c_str(), &how, sizeof how);
  if (opened >= 0 || errno != ENOSYS) return FileDescriptor(static_cast<int>(opened));

  // A kernel without openat2 (before Linux 5.6): one name at a time, following no
  // symbolic link at all and never going up.
  FileDescriptor current(openat(directory.get(), ".", kDirectoryFlags));
  for (size_t start = 0; start <= path.size() && current.get() >= 0;) {
    const size_t end = std::min(path.find('/', start), path.size());
    const std::string name = path.substr(start, end - start);
    start = end + 1;
    if (name.empty() || name == ".") continue;
    if (name == "..") return FileDescriptor(-1);
    current = FileDescriptor(openat(current.get(), name.c_str(), kDirectoryFlags | O_NOFOLLOW));
  }
  return current;
}

}  // namespace

ConfinedDirectory::ConfinedDirectory(const FileURL& url)
    : directory_(openedDirectory(url)), realPath_(platform::realPath(directory_)) {}

std::optional<std::string> ConfinedDirectory::readRegularFile(std::string_view relativePath,
                                                              size_t limit) const {
  if (relativePath.find('\0') != std::string_view::npos) return std::nullopt;
  const size_t slash = relativePath.rfind('/');
  const std::string name(slash == std::string_view::npos ? relativePath
                                                         : relativePath.substr(slash + 1));
  if (name.empty() || name == "." || name == "..") return std::nullopt;
  const FileDescriptor parent = directoryBeneath(
      directory_,
      slash == std::string_view::npos ? "." : std::string(relativePath.substr(0, slash)));
  if (parent.get() < 0) return std::nullopt;

  // Looking before opening keeps devices from ever being opened; the check on the open
  // descriptor below is the one that counts, should the file change in between. The
  // name is looked up in `parent` alone, so neither step can leave it.
  struct stat info {};
  if (fstatat(parent.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
      !isRegularFileWithin(info, limit)) {
    return std::nullopt;
  }
  // O_NONBLOCK: should a FIFO have taken the file's place, opening it does not wait for
  // a writer. It has no effect on reading a regular file.
  FileDescriptor file(
      openat(parent.get(), name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
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
