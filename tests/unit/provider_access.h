// The tests' door to PreviewProvider's internal operations.
#pragma once

#include "preview/preview_provider.h"

namespace quillory {

struct PreviewProviderInternals {
  static std::string readText(const platform::FileURL& url) {
    return PreviewProvider().readText(url);
  }
  static std::string buildHTML(const std::string& markdown, const platform::FileURL& baseDir) {
    return PreviewProvider().buildHTML(markdown, baseDir);
  }
  static std::string markdownToHTML(const std::string& markdown) {
    return PreviewProvider().markdownToHTML(markdown);
  }
  static std::string inlineLocalImages(const std::string& html, const platform::FileURL& dir) {
    return PreviewProvider().inlineLocalImages(html, dir);
  }
  static std::string makeNonce(platform::SecureRandomSource source = platform::secureRandomBytes) {
    return PreviewProvider::makeNonce(source);
  }
  static std::string escapedPre(const std::string& text) {
    return PreviewProvider::escapedPre(text);
  }
  static std::string mimeType(const std::string& extension) {
    return PreviewProvider::mimeType(extension);
  }
  static const std::string& cssSource() { return PreviewProvider::cssSource(); }
  static const std::string& markedSource() { return PreviewProvider::markedSource(); }
};

}  // namespace quillory
