// What a host of the preview service exchanges with a previewer: the request for one
// file, the reply that carries the page, and the completion that hands either back.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_url.h"

namespace platform {

struct FilePreviewRequest {
  FileURL fileURL;
};

struct ContentSize {
  int width = 0;
  int height = 0;
};

// The page: UTF-8 bytes of an HTML document, made once and shared, never copied, and the
// size it would like to be shown at.
struct PreviewReply {
  static constexpr std::string_view contentType = "text/html";
  static constexpr std::string_view stringEncoding = "utf-8";
  ContentSize contentSize;
  std::shared_ptr<const std::string> data;
};

// Called exactly once per request: with a reply and no error, or with no reply and the
// error (the exception the previewer failed with).
using PreviewCompletion =
    std::function<void(std::optional<PreviewReply> reply, std::exception_ptr error)>;

}  // namespace platform
