// Asks the previewer for a file's page off the main thread and hands the outcome back on it.
#pragma once

#include <functional>
#include <string>

#include "preview/page_request.h"

namespace viewer {

// Returns at once; `done` runs later on the thread of GLib's default main context. Only a
// regular file is read: anything else that exists under `path` fails without being opened.
void requestPage(const std::string& path, std::function<void(quillory::PageOutcome)> done);

}  // namespace viewer
