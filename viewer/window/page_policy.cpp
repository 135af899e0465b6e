// The content policy the window serves its page under, whatever the page itself declares.
#include "viewer/window/page_policy.h"

#include <algorithm>
#include <cctype>

#include "preview/page_constants.h"

namespace viewer {
namespace {

// Nonces are base64 text; anything else could end the directive it is put in.
bool isNonceCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/' || c == '=' ||
         c == '-' || c == '_';
}

}  // namespace

std::string servedPagePolicy(std::string_view nonce) {
  constexpr std::string_view kWindowOnly = " base-uri 'none'; form-action 'none'";
  if (nonce.empty() || !std::all_of(nonce.begin(), nonce.end(), isNonceCharacter)) {
    return "default-src 'none'; img-src data:; style-src 'none'; script-src 'none';" +
           std::string(kWindowOnly);
  }
  return quillory::contentSecurityPolicy(nonce) + std::string(kWindowOnly);
}

}  // namespace viewer
