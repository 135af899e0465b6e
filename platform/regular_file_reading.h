// Bounded reads of regular files, for input that must neither block nor run on without end.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/file_url.h"

namespace platform {

// The bytes of the regular file at `url` when it holds at most `limit` of them.
// Nothing when the file is missing, unreadable, not a regular file (a directory, FIFO,
// socket or device), or longer than `limit`, also when it grew past `limit` since it
// was opened. A FIFO is never waited on, and no more than `limit` + 1 bytes are read.
// The last path component is not followed when it is a symbolic link.
std::optional<std::string> readRegularFile(const FileURL& url, size_t limit);

}  // namespace platform
