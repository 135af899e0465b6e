// The messages between the window and its conversion helpers, each one frame: a request is
// the extras as one letter, the time limit in milliseconds, a newline, then the path; an answer is
// "P", the preferred width and height (4 bytes each, little-endian) and the page, or "F" and why
// there is none.
#include "viewer/protocol/conversion_codec.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <utility>

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

std::string encodeRequest(const ConversionRequest& request) {
  return (request.options.extras == quillory::Extras::github ? "G" : "-") +
         std::to_string(request.options.timeLimit.count()) + "\n" + request.path;
}

std::optional<ConversionRequest> decodeRequest(const std::string& message) {
  const size_t pathStart = message.find('\n') + 1;
  if (pathStart == 0 || (message[0] != 'G' && message[0] != '-')) return std::nullopt;
  ConversionRequest request{message.substr(pathStart), {}};
  if (message[0] == 'G') request.options.extras = quillory::Extras::github;
  request.options.timeLimit = std::chrono::milliseconds(std::atoll(message.c_str() + 1));
  return request;
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

}  // namespace viewer
