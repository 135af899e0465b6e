// Where the sources of img elements stand in an HTML fragment.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "platform/regex_search.h"

namespace quillory {

// The image pattern, matched case-insensitively. Group 1: "<img" up to and including the
// opening quotation mark of the first src attribute; group 2: the source value; group 3:
// the closing quotation mark.
inline constexpr std::string_view kImagePattern = R"((<img\b[^>]*?\bsrc=["'])([^"']+)(["']))";

// The range of group 2 of every match of kImagePattern in `html`, in ascending order:
// the same matches a scan of the whole fragment finds, in time linear in its length.
// Nothing when the pattern cannot be used.
std::optional<std::vector<platform::TextRange>> imageSourceRanges(std::string_view html);

}  // namespace quillory
