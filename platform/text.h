// Text: UTF-8 checks and repair, Unicode lower-casing, percent-decoding, base64.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// True when `bytes` are well-formed UTF-8 (and so already the text they encode).
bool isWellFormedUTF8(std::string_view bytes);

// Never fails: each maximal ill-formed subpart becomes one U+FFFD, every well-formed
// character comes through unchanged.
std::string decodeUTF8Leniently(std::string_view bytes);

// The full Unicode lower-case mapping of `text` (root locale, so no language-specific
// rules). Ill-formed UTF-8 comes out as U+FFFD.
std::string lowercased(std::string_view text);

// Each "%" followed by two hexadecimal digits becomes the byte they name; the result is
// read as UTF-8. Nothing when a "%" lacks two hexadecimal digits after it or the bytes
// are not well-formed UTF-8.
std::optional<std::string> removingPercentEncoding(std::string_view text);

// Standard base64 (RFC 4648 section 4) of `bytes`: padded, on one line.
std::string base64Encoded(std::string_view bytes);

}  // namespace platform
