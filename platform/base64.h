// Standard base64 (RFC 4648 section 4): padded, on one line.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Appends the base64 text of `bytes` to `out`.
void appendBase64(std::string& out, std::string_view bytes);

std::string base64Encoded(std::string_view bytes);

}  // namespace platform
