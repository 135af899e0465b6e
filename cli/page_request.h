// Asking the previewer for the page of one file, as the preview service would.
#pragma once

#include <functional>
#include <string>

#include "platform/preview_service.h"

namespace cli {

// Called once, on a worker thread: the page's bytes, or the exception of a failure.
using PageHandler =
    std::function<void(platform::PreviewReply::Bytes page, std::exception_ptr error)>;

// Starts the request for `file` and returns at once.
void requestPage(const std::string& file, PageHandler handler);

// Requests the page of `file` and waits for it. Throws what the previewer failed with.
platform::PreviewReply::Bytes renderPage(const std::string& file);

}  // namespace cli
