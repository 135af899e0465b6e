// The headings of a preview page, read from its HTML, for the window's outline.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace viewer {

struct PageHeading {
  int level = 1;     // 1 for h1 to 6 for h6
  int depth = 0;     // how many earlier headings of lower levels enclose it
  std::string id;    // empty when the heading has none
  std::string text;  // its text: tags and math annotations left out, character references
                     // decoded, white space collapsed
  bool operator==(const PageHeading&) const = default;
};

// Bounds on the work for any page: the headings listed, and the bytes of one heading's text
// (cut where a character begins).
inline constexpr size_t kMaxPageHeadings = 1000;
inline constexpr size_t kMaxHeadingTextBytes = 200;

// The h1 to h6 elements of `html` in order, at most kMaxPageHeadings. Comments and the text
// of script, style, textarea, title and xmp elements hold none.
std::vector<PageHeading> pageHeadings(std::string_view html);

}  // namespace viewer
