// Bounded reads of regular files below a directory, for input that must neither block,
// nor run on without end, nor lead out of the directory.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_url.h"
#include "platform/files.h"

namespace platform {

// A directory held open, whose regular files are read without ever leaving it: the
// kernel resolves each path from the directory itself, so a symbolic link or a rename
// that would lead out of it makes the read fail, whenever it happens.
class ConfinedDirectory {
 public:
  // Opens the directory at `url`, following symbolic links on the way to it.
  explicit ConfinedDirectory(const FileURL& url);

  // The real path of the directory that was opened; nothing when none was.
  const std::optional<FileURL>& realPath() const { return realPath_; }

  // The bytes of the regular file at `relativePath` below the directory when it holds at
  // most `limit` of them. Nothing when the file is missing, unreadable, not a regular
  // file (a directory, FIFO, socket or device), or longer than `limit`, also when it grew
  // past `limit` since it was opened; nothing as well when the path meets a symbolic link
  // that leads out of the directory, a "..", or a link as its last component. A FIFO is
  // never waited on, and no more than `limit` + 1 bytes are read.
  std::optional<std::string> readRegularFile(std::string_view relativePath, size_t limit) const;

 private:
  FileDescriptor directory_;
  std::optional<FileURL> realPath_;
};

}  // namespace platform
