// The window's conversions in a process of their own, so that a fault anywhere in them
// stays in a process that can do less than the window.
#include "viewer/conversion_service.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "platform/frames.h"
#include "platform/limits.h"
#include "platform/process.h"
#include "preview/confinement.h"
#include "preview/preview_provider.h"

namespace viewer {
namespace {

void appendNumber(std::string& message, uint32_t number) {
  for (int i = 0; i < 4; ++i) message.push_back(static_cast<char>(number >> (8 * i)));
}

uint32_t numberAt(const std::string& message, size_t at) {
  uint32_t number = 0;
  for (int i = 0; i < 4; ++i) {
    number |= static_cast<uint32_t>(static_cast<unsigned char>(message[at + i])) << (8 * i);
  }
  return number;
}

}  // namespace

// The extras as one letter, the time limit in milliseconds, a newline, then the path.
std::string encodeRequest(const std::string& path, const quillory::PreviewOptions& options) {
  return (options.extras == quillory::Extras::github ? "G" : "-") +
         std::to_string(options.timeLimit.count()) + "\n" + path;
}

std::string encodeOutcome(const quillory::PageOutcome& outcome) {
  if (!outcome.reply) return "F" + outcome.failure;
  std::string message = "P";
  appendNumber(message, static_cast<uint32_t>(outcome.reply->contentSize.width));
  appendNumber(message, static_cast<uint32_t>(outcome.reply->contentSize.height));
  message += *outcome.reply->data;
  return message;
}

quillory::PageOutcome decodeOutcome(std::string message) {
  if (message.size() >= 9 && message[0] == 'P') {
    platform::PreviewReply reply;
    reply.contentSize = {static_cast<int>(numberAt(message, 1)),
                         static_cast<int>(numberAt(message, 5))};
    message.erase(0, 9);  // the page keeps the buffer it came in
    reply.data = std::make_shared<const std::string>(std::move(message));
    return {std::move(reply), {}};
  }
  if (!message.empty() && message[0] == 'F') return {std::nullopt, message.substr(1)};
  return {std::nullopt, "the conversion gave an answer that cannot be read"};
}

// The first request names the directory: the process confines itself to reading it and
// the resources before it reads anything. Warm, its threads are running by then, and each
// is confined; cold, none has started yet.
int serveConversions(int socket, bool warm) {
  platform::endWithParent();
  if (warm) quillory::PreviewProvider().warmUp();
  bool confined = false;
  while (auto request = platform::readFrame(socket, limits::helperRequestBytes)) {
    if (request->empty()) break;
    const size_t pathStart = request->find('\n') + 1;
    if (pathStart == 0) break;
    quillory::PreviewOptions options;
    if (request->front() == 'G') options.extras = quillory::Extras::github;
    options.timeLimit = std::chrono::milliseconds(std::atoll(request->c_str() + 1));
    const std::string path = request->substr(pathStart);
    if (!std::exchange(confined, true)) {
      const auto applied = platform::confineProcess(quillory::readingDocuments({path}));
      // A thread might have been left out: the instance asks a cold helper instead.
      if (warm && !applied.files && platform::availableProtections().files) return 1;
    }
    const auto outcome = quillory::pageFor(platform::FileURL::fileURLWithPath(path), options);
    if (!platform::writeFrame(socket, encodeOutcome(outcome))) break;
  }
  return 0;
}

}  // namespace viewer
