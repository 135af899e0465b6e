// The preview request flow: one request in, one reply (or the read error) out.
#include <new>

#include "platform/files.h"
#include "platform/process.h"
#include "preview/page_constants.h"
#include "preview/preview_provider.h"

namespace quillory {
void PreviewProvider::providePreviewForFileRequest(
    platform::FilePreviewRequest request, platform::PreviewCompletion completionHandler) const {
  // The task holds the request, the handler and (a copy of) the provider until the
  // handler has been called.
  platform::Executor::global().enqueue(
      [provider = *this, request = std::move(request),
       completionHandler = std::move(completionHandler)]() mutable {
        std::optional<platform::PreviewReply> reply;
        std::exception_ptr error;
        try {
          reply.emplace(provider.providePreview(request));
        } catch (...) {
          error = std::current_exception();
        }
        completionHandler(std::move(reply), error);
      });
}

platform::PreviewReply PreviewProvider::providePreview(
    const platform::FilePreviewRequest& request) const {
  const platform::FileURL& fileURL = request.fileURL;
  std::string text = readText(fileURL);
  platform::FileURL baseDir = fileURL.deletingLastPathComponent();
  // The page's bytes are made once, here; the reply hands over this same buffer.
  return platform::PreviewReply{kPreferredPageSize,
                                std::make_shared<const std::string>(buildHTML(text, baseDir))};
}

}  // namespace quillory
