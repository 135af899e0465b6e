// Unicode case mapping of UTF-8 text.
#include "platform/unicode_case.h"

#include <unicode/locid.h>
#include <unicode/stringpiece.h>
#include <unicode/unistr.h>

namespace platform {

std::string lowercased(std::string_view text) {
  icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  std::string lower;
  unicode.toLower(icu::Locale::getRoot()).toUTF8String(lower);
  return lower;
}

}  // namespace platform
