// The window's page requests, converted in helper processes: one per document directory
// while a window of that directory is open (and a while after), and one started ahead for
// the next directory.
#pragma once

#include <functional>
#include <string>

#include "preview/page_request.h"

namespace viewer {

// Asks for the page of the file at `path` (absolute) in the helper of its directory.
// Returns at once; `done` runs later on the thread of GLib's default main context. Only a
// regular file is read: anything else that exists under `path` fails without being opened.
void requestPage(const std::string& path, const quillory::PreviewOptions& options,
                 std::function<void(platform::PreviewOutcome)> done);

// A window of `directory` opens or closes: the directory's helper lives while one is open,
// and then as one of the two helpers whose windows closed last.
void holdHelper(const std::string& directory);
void releaseHelper(const std::string& directory);

// Starts a helper for the next directory, unless one waits.
void prepareHelper();

}  // namespace viewer
