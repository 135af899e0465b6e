// The tests' door to PreviewProvider's internal operations.
#pragma once

#include "preview/preview_provider.h"

namespace quillory {

struct PreviewProviderInternals {
  using URL = platform::FileURL;
  static std::string readText(const URL& url) { return PreviewProvider().readText(url); }
  static std::string buildHTML(const std::string& md, const URL& dir) {
    return PreviewProvider().buildHTML(md, dir);
  }
  static std::string markdownToHTML(const std::string& md) {
    return PreviewProvider().markdownToHTML(md);
  }
  static std::string inlineLocalImages(const std::string& html, const URL& dir) {
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
