// How a host asks for the page of one file, playing the preview service's part.
#include "preview/page_request.h"

#include <future>

#include "platform/files.h"
#include "preview/preview_provider.h"

namespace quillory {

void requestPage(const platform::FileURL& file, std::function<void(PageOutcome)> done) {
  PreviewProvider().providePreviewForFileRequest(
      {file}, [done = std::move(done)](std::optional<platform::PreviewReply> reply,
                                       std::exception_ptr error) {
        done(error ? PageOutcome{std::nullopt, platform::failureReason(error)}
                   : PageOutcome{std::move(reply), {}});
      });
}

PageOutcome pageFor(const platform::FileURL& file) {
  std::promise<PageOutcome> outcome;
  requestPage(file, [&outcome](PageOutcome page) { outcome.set_value(std::move(page)); });
  return outcome.get_future().get();
}

}  // namespace quillory
