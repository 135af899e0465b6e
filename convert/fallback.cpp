// The plain-text fallback: the source itself, HTML-escaped, in a pre element.
#include "preview/preview_provider.h"

namespace quillory {

std::string PreviewProvider::escapedPre(const std::string& text) {
  std::string html = "<pre>";
  html.reserve(text.size() + text.size() / 8 + 11);
  for (char c : text) {
    switch (c) {
      case '&':
        html += "&amp;";
        break;
      case '<':
        html += "&lt;";
        break;
      case '>':
        html += "&gt;";
        break;
      default:
        html += c;
    }
  }
  html += "</pre>";
  return html;
}

}  // namespace quillory
