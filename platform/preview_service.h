// What a host of the preview service exchanges with a previewer: the request for one
// file, and its outcome: the reply that carries the page, or the failure that says why
// there is none, handed back by the completion.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "platform/file_url.h"

namespace platform {

struct FilePreviewRequest {
  FileURL fileURL;
  // The document is this process's standard input, not the file; its images are found from
  // `fileURL`'s directory all the same.
  bool standardInput = false;
};

struct ContentSize {
  int width = 0;
  int height = 0;
};

// The page: UTF-8 bytes of an HTML document, made once and shared, never copied, the size
// it would like to be shown at, and the nonce that names its own stylesheet.
struct PreviewReply {
  static constexpr std::string_view contentType = "text/html";
  ContentSize contentSize;
  std::shared_ptr<const std::string> data;
  std::string nonce;
};

// Why there is no page: the file, the system's error code, and the message a user reads
// for it ("No such file or directory", or what the host that failed says instead).
struct PreviewFailure {
  std::string file;
  int error = 0;
  std::string message;
};

// What every request ends with, from the previewer to each host: a page or why not.
using PreviewOutcome = std::variant<PreviewReply, PreviewFailure>;

// Called exactly once per request, with its outcome.
using PreviewCompletion = std::function<void(PreviewOutcome outcome)>;

}  // namespace platform
