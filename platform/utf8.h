// UTF-8 decoding: strict validation and lenient repair with U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// True when `bytes` are well-formed UTF-8 (and so already the text they encode).
bool isWellFormedUTF8(std::string_view bytes);

// Never fails: each maximal ill-formed subpart becomes one U+FFFD, every well-formed
// character comes through unchanged.
std::string decodeUTF8Leniently(std::string_view bytes);

}  // namespace platform
