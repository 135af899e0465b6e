// The messages between the window and its conversion helpers, each one frame. A request is
// the extras as one letter, the time limit in milliseconds, a newline, then the path. An
// answer's numbers are 4 bytes each, little-endian, its texts each after its length: "P",
// the preferred width and height, the nonce, then the page to the end; or "F", the error
// code, the file, then the message to the end.
#include "viewer/protocol/conversion_codec.h"

#include <cerrno>
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

void appendText(std::string& message, const std::string& text) {
  appendNumber(message, static_cast<uint32_t>(text.size()));
  message += text;
}

// The text whose length stands at `at`, which then moves past it; nothing when the message
// ends before it does.
std::optional<std::string> textAt(const std::string& message, size_t& at) {
  if (message.size() - at < 4) return std::nullopt;
  const size_t length = numberAt(message, at);
  if (message.size() - at - 4 < length) return std::nullopt;
  std::string text = message.substr(at + 4, length);
  at += 4 + length;
  return text;
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

std::string encodeOutcome(const platform::PreviewOutcome& outcome) {
  std::string message;
  if (const auto* failure = std::get_if<platform::PreviewFailure>(&outcome)) {
    message = "F";
    appendNumber(message, static_cast<uint32_t>(failure->error));
    appendText(message, failure->file);
    return message + failure->message;
  }
  const auto& reply = std::get<platform::PreviewReply>(outcome);
  message = "P";
  appendNumber(message, static_cast<uint32_t>(reply.contentSize.width));
  appendNumber(message, static_cast<uint32_t>(reply.contentSize.height));
  appendText(message, reply.nonce);
  return message + *reply.data;
}

platform::PreviewOutcome decodeOutcome(std::string message, const std::string& file) {
  size_t at = 1;
  if (message.starts_with('P') && message.size() >= 13) {
    platform::PreviewReply reply;
    reply.contentSize = {static_cast<int>(numberAt(message, 1)),
                         static_cast<int>(numberAt(message, 5))};
    at = 9;
    if (auto nonce = textAt(message, at)) {
      reply.nonce = std::move(*nonce);
      message.erase(0, at);  // the page keeps the buffer it came in
      reply.data = std::make_shared<const std::string>(std::move(message));
      return reply;
    }
  } else if (message.starts_with('F') && message.size() >= 9) {
    const int error = static_cast<int>(numberAt(message, 1));
    at = 5;
    if (auto failed = textAt(message, at)) {
      return platform::PreviewFailure{std::move(*failed), error, message.substr(at)};
    }
  }
  return platform::PreviewFailure{file, EPROTO,
                                  "the conversion gave an answer that cannot be read"};
}

}  // namespace viewer
