// Shows a file in the desktop's file manager, selected in its folder, without opening it.
#pragma once

#include <functional>
#include <string>

namespace viewer {

// Asks the file manager on the session bus (org.freedesktop.FileManager1) to show the file
// at `path` (absolute). `done` runs on the main thread: with true once a file manager took
// the request, false when none could.
void revealInFileManager(const std::string& path, std::function<void(bool shown)> done);

}  // namespace viewer
