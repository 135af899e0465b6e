// How a host asks for the page of one file, playing the preview service's part.
#include "preview/page_request.h"

#include <future>
#include <system_error>

#include "preview/preview_provider.h"

namespace quillory {
namespace {

std::string failureReason(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::system_error& failure) {
    return failure.code().message();
  } catch (const std::exception& failure) {
    return failure.what();
  } catch (...) {
    return "unknown error";
  }
}

}  // namespace

void requestPage(const platform::FileURL& file, std::function<void(PageOutcome)> done) {
  PreviewProvider().providePreviewForFileRequest(
      {file}, [done = std::move(done)](std::optional<platform::PreviewReply> reply,
                                       std::exception_ptr error) {
        done(error ? PageOutcome{std::nullopt, failureReason(error)}
                   : PageOutcome{std::move(reply), {}});
      });
}

PageOutcome pageFor(const platform::FileURL& file) {
  std::promise<PageOutcome> outcome;
  requestPage(file, [&outcome](PageOutcome page) { outcome.set_value(std::move(page)); });
  return outcome.get_future().get();
}

}  // namespace quillory
