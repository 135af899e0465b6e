// Asks the previewer for a file's page off the main thread and hands the outcome back on it.
#include "viewer/page_request.h"

#include <glib.h>

#include "platform/files.h"
#include "preview/preview_provider.h"

namespace viewer {
namespace {

struct Delivery {
  std::function<void(PageOutcome)> done;
  PageOutcome outcome;
};

}  // namespace

void requestPage(const std::string& path, std::function<void(PageOutcome)> done) {
  quillory::PreviewProvider provider;
  provider.providePreviewForFileRequest(
      platform::FilePreviewRequest{platform::FileURL::fileURLWithPath(path)},
      [done = std::move(done)](std::optional<platform::PreviewReply> reply,
                               std::exception_ptr error) mutable {
        auto* delivery = new Delivery{std::move(done), {}};
        if (error) {
          delivery->outcome.failure = platform::failureReason(error);
        } else {
          delivery->outcome.page = reply->data();
          delivery->outcome.preferredSize = reply->contentSize();
        }
        g_idle_add_once(
            [](gpointer data) {
              auto* delivery = static_cast<Delivery*>(data);
              delivery->done(std::move(delivery->outcome));
              delete delivery;
            },
            delivery);
      });
}

}  // namespace viewer
