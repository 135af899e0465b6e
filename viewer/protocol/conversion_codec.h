// The messages between the window and its conversion helpers: a request names a file and
// the options its page is made with; an answer is the outcome of one request, in the order asked.
#pragma once

#include <optional>
#include <string>

#include "preview/page_request.h"

namespace viewer {

// The file's absolute path and the options its page is made with.
struct ConversionRequest {
  std::string path;
  quillory::PreviewOptions options;
};

// A request as it crosses between the processes, and back: nothing when it cannot be read.
std::string encodeRequest(const ConversionRequest& request);
std::optional<ConversionRequest> decodeRequest(const std::string& message);

// The outcome as it crosses between the processes, and back; an answer that cannot be read
// is a failure to convert `file`.
std::string encodeOutcome(const platform::PreviewOutcome& outcome);
platform::PreviewOutcome decodeOutcome(std::string message, const std::string& file);

}  // namespace viewer
