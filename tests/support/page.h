// The page every preview is: the fixed template around one nonce (written twice), the
// stylesheet and the body. The one copy of the template the tests and fuzzers compare with.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace testing_support {

inline std::string pageBefore(std::string_view nonce, std::string_view css) {
  const std::string n(nonce);
  return "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta http-equiv=\"Content-Security-Policy\"\n"
         "      content=\"default-src 'none'; img-src data:; style-src 'nonce-" +
         n + "'; script-src 'none';\">\n<style nonce=\"" + n + "\">" + std::string(css) +
         "</style>\n</head>\n<body>\n<article id=\"content\" class=\"md\">";
}
inline constexpr std::string_view kPageAfter =
    "</article>\n<div class=\"md-watermark\">Rendered by Quillory</div>\n</body>\n</html>";

// The nonce of `page`: 24 characters of standard base64 from its policy, or "".
inline std::string nonceOf(std::string_view page) {
  const size_t at = page.find("'nonce-");
  if (at == std::string_view::npos || page.size() < at + 31) return "";
  const std::string_view nonce = page.substr(at + 7, 24);
  const bool base64 = nonce.ends_with("==") &&
                      nonce.substr(0, 22).find_first_not_of(
                          "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/") ==
                          std::string_view::npos;
  return base64 ? std::string(nonce) : "";
}

// The body of `page` when it is exactly the template around a nonce, `css` and a body.
inline std::optional<std::string> bodyOfPage(std::string_view page, std::string_view css) {
  const std::string before = pageBefore(nonceOf(page), css);
  if (nonceOf(page).empty() || !page.starts_with(before) ||
      page.size() < before.size() + kPageAfter.size() || !page.ends_with(kPageAfter)) {
    return std::nullopt;
  }
  return std::string(page.substr(before.size(), page.size() - before.size() - kPageAfter.size()));
}

}  // namespace testing_support
