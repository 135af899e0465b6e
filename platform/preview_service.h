// What a host of the preview service exchanges with a previewer: the request for one
// file, the reply that carries the page, and the completion that hands either back.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/file_url.h"

namespace platform {

struct FilePreviewRequest {
  FileURL fileURL;
};

enum class ContentType { html };
enum class StringEncoding { unspecified, utf8 };

struct ContentSize {
  double width = 0;
  double height = 0;
};

// A reply whose bytes the host obtains by calling data(), which runs the previewer's
// callback. The bytes are shared, never copied.
class PreviewReply {
 public:
  using Bytes = std::shared_ptr<const std::string>;
  using DataCallback = std::function<Bytes(PreviewReply&)>;

  PreviewReply(ContentType type, ContentSize size, DataCallback createData)
      : contentType_(type), contentSize_(size), createData_(std::move(createData)) {}

  ContentType contentType() const { return contentType_; }
  ContentSize contentSize() const { return contentSize_; }
  StringEncoding stringEncoding = StringEncoding::unspecified;

  Bytes data() { return createData_(*this); }

 private:
  ContentType contentType_;
  ContentSize contentSize_;
  DataCallback createData_;
};

// Called exactly once per request: with a reply and no error, or with no reply and the
// error (the exception the previewer failed with).
using PreviewCompletion =
    std::function<void(std::optional<PreviewReply> reply, std::exception_ptr error)>;

}  // namespace platform
