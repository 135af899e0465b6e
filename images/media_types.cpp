// Media types of image files, by extension.
#include <string_view>
#include <utility>

#include "platform/text.h"
#include "preview/preview_provider.h"

namespace quillory {
namespace {

// Lower-case extensions without their dot, compared in this order.
constexpr std::pair<std::string_view, std::string_view> kMediaTypes[] = {
    {"png", "image/png"}, {"jpg", "image/jpeg"},    {"jpeg", "image/jpeg"},
    {"gif", "image/gif"}, {"svg", "image/svg+xml"}, {"webp", "image/webp"},
    {"bmp", "image/bmp"}, {"heic", "image/heic"},   {"avif", "image/avif"},
};
constexpr std::string_view kArbitraryBytes = "application/octet-stream";

}  // namespace

std::string PreviewProvider::mimeType(const std::string& pathExtension) {
  const std::string extension = platform::lowercased(pathExtension);
  for (const auto& [known, mediaType] : kMediaTypes) {
    if (extension == known) return std::string(mediaType);
  }
  return std::string(kArbitraryBytes);
}

}  // namespace quillory
