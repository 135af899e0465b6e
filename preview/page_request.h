// How a host asks for the page of one file, playing the preview service's part.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/preview_service.h"
#include "preview/preview_provider.h"

namespace quillory {

// Starts the request for `file` and returns at once; `done` runs once, on a worker thread.
void requestPage(const platform::FileURL& file, const PreviewOptions& options,
                 std::function<void(platform::PreviewOutcome)> done);

// Requests the page of `file` and waits for it.
platform::PreviewOutcome pageFor(const platform::FileURL& file, const PreviewOptions& options = {});
// The same for any request, such as one for standard input.
platform::PreviewOutcome pageFor(const platform::FilePreviewRequest& request,
                                 const PreviewOptions& options);

}  // namespace quillory
