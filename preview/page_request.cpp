// How a host asks for the page of one file, playing the preview service's part.
#include "preview/page_request.h"

#include <future>

#include "platform/files.h"

namespace quillory {

void requestPage(const platform::FileURL& file, const PreviewOptions& options,
                 std::function<void(PageOutcome)> done) {
  PreviewProvider(options).providePreviewForFileRequest(
      {file}, [done = std::move(done)](std::optional<platform::PreviewReply> reply,
                                       std::exception_ptr error) {
        done(error ? PageOutcome{std::nullopt, platform::failureReason(error)}
                   : PageOutcome{std::move(reply), {}});
      });
}

PageOutcome pageFor(const platform::FileURL& file, const PreviewOptions& options) {
  std::promise<PageOutcome> outcome;
  requestPage(file, options, [&outcome](PageOutcome page) { outcome.set_value(std::move(page)); });
  return outcome.get_future().get();
}

}  // namespace quillory
