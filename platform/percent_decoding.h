// Percent-decoding of URL text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Each "%" followed by two hexadecimal digits becomes the byte they name; the result is
// read as UTF-8. Nothing when a "%" lacks two hexadecimal digits after it or the bytes
// are not well-formed UTF-8.
std::optional<std::string> removingPercentEncoding(std::string_view text);

}  // namespace platform
