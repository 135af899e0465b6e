// The processes that convert for the windows: one per document directory while a window
// of that directory is open, and one started ahead for the next directory.
#pragma once

#include <functional>
#include <string>

#include "preview/page_request.h"

namespace viewer {

// Converts the file at `path` (absolute) in the helper of its directory. Returns at once;
// `done` runs later on the thread of GLib's default main context.
void convertInHelper(const std::string& path, std::function<void(quillory::PageOutcome)> done);

// A window of `directory` opens or closes: the directory's helper lives while one is open.
void holdHelper(const std::string& directory);
void releaseHelper(const std::string& directory);

// Starts a helper for the next directory, unless one waits.
void prepareHelper();

}  // namespace viewer
