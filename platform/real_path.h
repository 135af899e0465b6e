// Real paths: file URLs with every symbolic link, "." and ".." resolved by the file system.
#pragma once

#include <optional>

#include "platform/file_url.h"

namespace platform {

// The canonical absolute path of an existing file or directory, as the file system
// resolves it. Nothing when some component is missing or cannot be searched.
std::optional<FileURL> realPath(const FileURL& url);

}  // namespace platform
