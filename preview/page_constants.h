// What hosts and tests may rely on in every page: its content policy and preferred size.
#pragma once

#include <string>
#include <string_view>

#include "platform/preview_service.h"

namespace quillory {

// The size a page would like to be shown at.
inline constexpr platform::ContentSize kPreferredPageSize{900, 700};

// The page's Content-Security-Policy: no script, nothing fetched, images only as data:
// URIs, and no style but the one element that carries `styleNonce`.
inline std::string contentSecurityPolicy(std::string_view styleNonce) {
  return "default-src 'none'; img-src data:; style-src 'nonce-" + std::string(styleNonce) +
         "'; script-src 'none';";
}

}  // namespace quillory
