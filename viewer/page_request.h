// Asks the previewer for a file's page off the main thread and hands the outcome back on it.
#pragma once

#include <functional>
#include <string>

#include "platform/preview_service.h"

namespace viewer {

struct PageOutcome {
  platform::PreviewReply::Bytes page;  // empty when the file could not be read
  platform::ContentSize preferredSize;
  std::string failure;  // why the file could not be read
};

// Returns at once; `done` runs later on the thread of GLib's default main context. Only a
// regular file is read: anything else that exists under `path` fails without being opened.
void requestPage(const std::string& path, std::function<void(PageOutcome)> done);

}  // namespace viewer
