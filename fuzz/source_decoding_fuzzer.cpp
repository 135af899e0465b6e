// Fuzzes source decoding against a reference decoder written from the table of
// well-formed UTF-8 byte sequences: the same verdict, the same replacements.
#include <cstdint>
#include <string>
#include <string_view>

#include "harness.h"
#include "platform/text.h"

namespace {

// Decodes by the rule "each maximal subpart of an ill-formed sequence becomes one
// U+FFFD"; sets `wellFormed` to whether no replacement was needed.
std::string referenceDecoding(std::string_view bytes, bool& wellFormed) {
  const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
  std::string text;
  wellFormed = true;
  for (size_t i = 0; i < bytes.size();) {
    const uint8_t lead = s[i];
    // The sequence's length, 0 when no well-formed one starts here, and the range of the
    // byte after the lead.
    const size_t length = lead < 0x80   ? 1
                          : lead < 0xC2 ? 0
                          : lead < 0xE0 ? 2
                          : lead < 0xF0 ? 3
                          : lead < 0xF5 ? 4
                                        : 0;
    const uint8_t low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const uint8_t high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    size_t valid = length == 0 ? 0 : 1;  // bytes of a well-formed prefix seen so far
    while (valid < length && i + valid < bytes.size()) {
      const uint8_t b = s[i + valid];
      if (valid == 1 ? b < low || b > high : b < 0x80 || b > 0xBF) break;
      ++valid;
    }
    if (length > 0 && valid == length) {
      text.append(bytes.substr(i, valid));
    } else {
      text += "\xEF\xBF\xBD";
      wellFormed = false;
    }
    i += valid == 0 ? 1 : valid;
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using fuzzing::require;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  bool referenceWellFormed = false;
  const std::string reference = referenceDecoding(bytes, referenceWellFormed);

  require(platform::isWellFormedUTF8(bytes) == referenceWellFormed, "the same verdict");
  const std::string text = platform::decodeUTF8Leniently(bytes);
  require(text == reference, "the same text, replacements included");
  require(platform::isWellFormedUTF8(text), "decoded text is well-formed");
  require(platform::decodeUTF8Leniently(text) == text, "decoding text again changes nothing");
  return 0;
}
