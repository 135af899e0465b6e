// How a host asks for the page of one file, playing the preview service's part.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/preview_service.h"
#include "preview/preview_provider.h"

namespace quillory {

struct PageOutcome {
  std::optional<platform::PreviewReply> reply;  // nothing when the file could not be read
  std::string failure;  // then why, in the words a user expects ("No such file or directory")
};

// Starts the request for `file` and returns at once; `done` runs once, on a worker thread.
void requestPage(const platform::FileURL& file, const PreviewOptions& options,
                 std::function<void(PageOutcome)> done);

// Requests the page of `file` and waits for it.
PageOutcome pageFor(const platform::FileURL& file, const PreviewOptions& options = {});

}  // namespace quillory
