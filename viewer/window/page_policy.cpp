// The content policy the window serves its page under, whatever the page itself declares.
#include "viewer/window/page_policy.h"

#include <algorithm>
#include <cctype>

#include "preview/page_constants.h"

namespace viewer {
namespace {

constexpr std::string_view kStylesheetStart = "<style nonce=\"";
constexpr std::string_view kHeadEnd = "</head>";

// Nonces are base64 text; anything else could end the directive it is put in.
bool isNonceCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/' || c == '=' ||
         c == '-' || c == '_';
}

// The nonce of the first style element of the head; empty when there is none.
std::string_view stylesheetNonce(std::string_view page) {
  size_t headEnd = page.find(kHeadEnd);
  if (headEnd == std::string_view::npos) return {};
  std::string_view head = page.substr(0, headEnd);
  size_t start = head.find(kStylesheetStart);
  if (start == std::string_view::npos) return {};
  start += kStylesheetStart.size();
  size_t end = head.find('"', start);
  if (end == std::string_view::npos) return {};
  std::string_view nonce = head.substr(start, end - start);
  if (nonce.empty() || !std::all_of(nonce.begin(), nonce.end(), isNonceCharacter)) return {};
  return nonce;
}

}  // namespace

std::string servedPagePolicy(std::string_view page) {
  constexpr std::string_view kWindowOnly = " base-uri 'none'; form-action 'none'";
  std::string_view nonce = stylesheetNonce(page);
  if (nonce.empty()) {
    return "default-src 'none'; img-src data:; style-src 'none'; script-src 'none';" +
           std::string(kWindowOnly);
  }
  return quillory::contentSecurityPolicy(nonce) + std::string(kWindowOnly);
}

}  // namespace viewer
