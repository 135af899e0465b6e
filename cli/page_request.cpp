// Asking the previewer for the page of one file, as the preview service would.
#include "cli/page_request.h"

#include <future>

#include "preview/preview_provider.h"

namespace cli {

void requestPage(const std::string& file, PageHandler handler) {
  quillory::PreviewProvider().providePreviewForFileRequest(
      platform::FilePreviewRequest{platform::FileURL::fileURLWithPath(file)},
      [handler = std::move(handler)](std::optional<platform::PreviewReply> reply,
                                     std::exception_ptr error) {
        if (error) {
          handler(nullptr, error);
        } else {
          handler(reply->data(), nullptr);
        }
      });
}

platform::PreviewReply::Bytes renderPage(const std::string& file) {
  std::promise<platform::PreviewReply::Bytes> page;
  requestPage(file, [&page](platform::PreviewReply::Bytes bytes, std::exception_ptr error) {
    if (error) {
      page.set_exception(error);
    } else {
      page.set_value(std::move(bytes));
    }
  });
  return page.get_future().get();
}

}  // namespace cli
