// UTF-8 decoding: strict validation and lenient repair with U+FFFD.
#include "platform/utf8.h"

#include <unicode/utf8.h>

namespace platform {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Offset of the first ill-formed sequence, or the length when there is none.
size_t firstIllFormed(std::string_view bytes) {
  const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
  const int32_t length = static_cast<int32_t>(bytes.size());
  int32_t i = 0;
  while (i < length) {
    if (s[i] < 0x80) {
      ++i;
      continue;
    }
    int32_t start = i;
    UChar32 c;
    U8_NEXT(s, i, length, c);
    if (c < 0) return static_cast<size_t>(start);
  }
  return bytes.size();
}

}  // namespace

bool isWellFormedUTF8(std::string_view bytes) { return firstIllFormed(bytes) == bytes.size(); }

std::string decodeUTF8Leniently(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size() + 16);
  const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
  const int32_t length = static_cast<int32_t>(bytes.size());
  int32_t i = 0;
  while (i < length) {
    int32_t start = i;
    UChar32 c;
    U8_NEXT(s, i, length, c);  // on an ill-formed sequence, skips its maximal subpart
    if (c < 0) {
      text += kReplacement;
    } else {
      text.append(bytes.data() + start, static_cast<size_t>(i - start));
    }
  }
  return text;
}

}  // namespace platform
