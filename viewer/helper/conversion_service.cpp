// The window's conversions in a process of their own, so that a fault anywhere in them
// stays in a process that can do less than the window.
#include "viewer/helper/conversion_service.h"

#include <utility>

#include "platform/frames.h"
#include "platform/limits.h"
#include "platform/process.h"
#include "preview/confinement.h"
#include "preview/preview_provider.h"
#include "viewer/protocol/conversion_codec.h"

namespace viewer {

// The first request names the directory: the process confines itself to reading it and
// the resources before it reads anything. Warm, its threads are running by then, and each
// is confined; cold, none has started yet.
int serveConversions(int socket, bool warm) {
  platform::endWithParent();
  // The window's pages get the GitHub extras unless the user turned them off: their
  // libraries are warmed with the rest.
  if (warm) quillory::PreviewProvider({.extras = quillory::Extras::github}).warmUp();
  bool confined = false;
  while (auto message = platform::readFrame(socket, limits::helperRequestBytes)) {
    const auto request = decodeRequest(*message);
    if (!request) break;
    if (!std::exchange(confined, true)) {
      const auto applied = platform::confineProcess(quillory::readingDocuments({request->path}));
      // A thread might have been left out: the instance asks a cold helper instead.
      if (warm && !applied.files && platform::availableProtections().files) return 1;
    }
    const auto outcome =
        quillory::pageFor(platform::FileURL::fileURLWithPath(request->path), request->options);
    if (!platform::writeFrame(socket, encodeOutcome(outcome))) break;
  }
  return 0;
}

}  // namespace viewer
