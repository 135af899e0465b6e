// Asks the conversion helper of a file's directory for its page; the outcome comes on
// the main thread.
// main thread.
#pragma once

#include <functional>
#include <string>

#include "preview/page_request.h"

namespace viewer {

// Returns at once; `done` runs later on the thread of GLib's default main context. Only a
// regular file is read: anything else that exists under `path` fails without being opened.
void requestPage(const std::string& path, std::function<void(quillory::PageOutcome)> done);

}  // namespace viewer
