// Media types of image files by extension: in any letter case, and arbitrary bytes for
// anything else.
#include <gtest/gtest.h>

#include "provider_access.h"

TEST(MediaTypes, ByExtensionInAnyLetterCase) {
  for (auto [extension, mediaType] : {std::pair{"png", "image/png"}, {"JpEg", "image/jpeg"},
                                      {"SVG", "image/svg+xml"}, {"avif", "image/avif"},
                                      {"svgz", "application/octet-stream"},
                                      {".png", "application/octet-stream"},
                                      {"", "application/octet-stream"}}) {
    EXPECT_EQ(quillory::PreviewProviderInternals::mimeType(extension), mediaType) << extension;
  }
}
