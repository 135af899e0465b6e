// Media types of image files by extension.
#include <gtest/gtest.h>

#include "provider_access.h"

namespace quillory {
namespace {

std::string mimeType(const std::string& extension) {
  return PreviewProviderInternals::mimeType(extension);
}

TEST(MediaTypes, NamesEachKnownExtensionInAnyLetterCase) {
  const std::pair<std::string, std::string> table[] = {
      {"png", "image/png"}, {"jpg", "image/jpeg"},    {"jpeg", "image/jpeg"},
      {"gif", "image/gif"}, {"svg", "image/svg+xml"}, {"webp", "image/webp"},
      {"bmp", "image/bmp"}, {"heic", "image/heic"},   {"avif", "image/avif"}};
  for (const auto& [extension, mediaType] : table) {
    std::string upper = extension;
    for (char& c : upper) c = static_cast<char>(c - 'a' + 'A');
    std::string mixed = upper;
    mixed[1] = extension[1];
    EXPECT_EQ(mimeType(extension), mediaType) << extension;
    EXPECT_EQ(mimeType(upper), mediaType) << upper;
    EXPECT_EQ(mimeType(mixed), mediaType) << mixed;
  }
}

TEST(MediaTypes, CallsEverythingElseArbitraryBytes) {
  for (std::string extension :
       {"", "jpe", "jfif", "tif", "tiff", "ico", "svgz", "apng", "heif", ".png", " png", "png ",
        "p ng", "\xEF\xBD\x90\xEF\xBD\x8E\xEF\xBD\x87" /* fullwidth png */}) {
    EXPECT_EQ(mimeType(extension), "application/octet-stream") << '"' << extension << '"';
  }
}

}  // namespace
}  // namespace quillory
