// The tests' door to PreviewProvider's internal operations.
#pragma once

#include "preview/preview_provider.h"

namespace quillory {

struct PreviewProviderInternals : PreviewProvider {
  using URL = platform::FileURL;
  using PreviewProvider::cssSource, PreviewProvider::escapedPre, PreviewProvider::makeNonce,
      PreviewProvider::markedSource;
  static std::string readText(const URL& url) { return PreviewProvider().readText({url}); }
  static std::string buildHTML(const std::string& md, const URL& dir,
                               const PreviewOptions& options = {}) {
    return PreviewProvider(options).buildHTML(md, dir);
  }
  static std::string markdownToHTML(const std::string& md, const PreviewOptions& options = {}) {
    return PreviewProvider(options).markdownToHTML(md);
  }
  static std::string inlineLocalImages(const std::string& html, const URL& dir) {
    return PreviewProvider().inlineLocalImages(html, dir);
  }
};

}  // namespace quillory
