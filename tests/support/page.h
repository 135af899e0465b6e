// The one copy of the page template (around a nonce, stylesheet and body) tests compare with.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace testing_support {

// The nonce of `page`: 24 characters of standard base64 from its policy, or "".
inline std::string nonceOf(std::string_view page) {
  const size_t at = page.find("'nonce-");
  const std::string_view nonce = at == std::string_view::npos ? "" : page.substr(at + 7, 24);
  const std::string_view alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const bool base64 = nonce.ends_with("==") && nonce.find_first_not_of(alphabet) == 22;
  return base64 ? std::string(nonce) : "";
}

// The body of `page` when it is exactly the template around a nonce, `css` and a body.
inline std::optional<std::string> bodyOfPage(std::string_view page, std::string_view css) {
  const std::string n = nonceOf(page);
  const std::string before =
      "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta http-equiv=\"Content-Security-Policy\"\n"
      "      content=\"default-src 'none'; img-src data:; style-src 'nonce-" +
      n + "'; script-src 'none';\">\n<style nonce=\"" + n + "\">" + std::string(css) +
      "</style>\n</head>\n<body>\n<article id=\"content\" class=\"md\">";
  const std::string_view after =
      "</article>\n<div class=\"md-watermark\">Rendered by Quillory</div>\n</body>\n</html>";
  // No end of `before` begins `after`, so the two cannot overlap.
  if (n.empty() || !page.starts_with(before) || !page.ends_with(after)) return std::nullopt;
  return std::string(page.substr(before.size(), page.size() - before.size() - after.size()));
}

}  // namespace testing_support
