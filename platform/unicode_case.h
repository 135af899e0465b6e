// Unicode case mapping of UTF-8 text.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The full Unicode lower-case mapping of `text` (root locale, so no language-specific
// rules). Ill-formed UTF-8 comes out as U+FFFD.
std::string lowercased(std::string_view text);

}  // namespace platform
