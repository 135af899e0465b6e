// Fuzzes source decoding against a reference decoder written from the table of
// well-formed UTF-8 byte sequences: the same verdict, the same replacements.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/utf8.h"
#include "harness.h"

namespace {

// The range the byte after `lead` must fall in, for a lead byte of a multi-byte sequence.
struct SecondByteRange {
  uint8_t low, high;
};

// The length of the sequence that `lead` begins, 0 when no well-formed one can.
int sequenceLength(uint8_t lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

SecondByteRange secondByteRange(uint8_t lead) {
  switch (lead) {
    case 0xE0:
      return {0xA0, 0xBF};
    case 0xED:
      return {0x80, 0x9F};
    case 0xF0:
      return {0x90, 0xBF};
    case 0xF4:
      return {0x80, 0x8F};
    default:
      return {0x80, 0xBF};
  }
}

// Decodes by the rule "each maximal subpart of an ill-formed sequence becomes one
// U+FFFD"; sets `wellFormed` to whether no replacement was needed.
std::string referenceDecoding(std::string_view bytes, bool& wellFormed) {
  const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
  std::string text;
  wellFormed = true;
  for (size_t i = 0; i < bytes.size();) {
    const int length = sequenceLength(s[i]);
    size_t valid = length == 0 ? 0 : 1;  // bytes of a well-formed prefix seen so far
    if (length > 1) {
      const SecondByteRange second = secondByteRange(s[i]);
      while (valid < static_cast<size_t>(length) && i + valid < bytes.size()) {
        const uint8_t b = s[i + valid];
        const bool fits = valid == 1 ? b >= second.low && b <= second.high : b >= 0x80 && b <= 0xBF;
        if (!fits) break;
        ++valid;
      }
    }
    if (length > 0 && valid == static_cast<size_t>(length)) {
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
