// The inverse of the plain-text fallback's escaping, for checking that it loses nothing.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace fuzzing {

// The text that `escaped` stands for, read left to right; nothing when it holds a "<" or
// ">", or an "&" that does not begin one of the three entities the escaping makes.
inline std::optional<std::string> unescaped(std::string_view escaped) {
  constexpr std::pair<std::string_view, char> kEntities[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}};
  std::string text;
  for (size_t i = 0; i < escaped.size();) {
    const char c = escaped[i];
    if (c == '<' || c == '>') return std::nullopt;
    if (c != '&') {
      text += c;
      ++i;
      continue;
    }
    bool known = false;
    for (const auto& [entity, character] : kEntities) {
      if (escaped.substr(i).starts_with(entity)) {
        text += character;
        i += entity.size();
        known = true;
        break;
      }
    }
    if (!known) return std::nullopt;
  }
  return text;
}

}  // namespace fuzzing
