// Real paths: file URLs with every symbolic link, "." and ".." resolved by the file system.
#pragma once

#include <optional>

#include "platform/file_descriptor.h"
#include "platform/file_url.h"

namespace platform {

// The canonical absolute path of an existing file or directory, as the file system
// resolves it. Nothing when some component is missing or cannot be searched.
std::optional<FileURL> realPath(const FileURL& url);

// The canonical absolute path of the file or directory open as `file`: the one it was
// found under, whatever was renamed or linked on the way to it since. Nothing when it no
// longer has one that leads to it (it was removed or moved away), or when /proc is not
// there to tell.
std::optional<FileURL> realPath(const FileDescriptor& file);

}  // namespace platform
