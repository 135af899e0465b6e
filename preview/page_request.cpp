// How a host asks for the page of one file, playing the preview service's part.
#include "preview/page_request.h"

#include <future>

namespace quillory {

void requestPage(const platform::FileURL& file, const PreviewOptions& options,
                 std::function<void(platform::PreviewOutcome)> done) {
  PreviewProvider(options).providePreviewForFileRequest({file}, std::move(done));
}

platform::PreviewOutcome pageFor(const platform::FileURL& file, const PreviewOptions& options) {
  std::promise<platform::PreviewOutcome> outcome;
  requestPage(file, options,
              [&outcome](platform::PreviewOutcome page) { outcome.set_value(std::move(page)); });
  return outcome.get_future().get();
}

}  // namespace quillory
