// Fuzzes source decoding against a reference decoder written from the table of well-formed
// UTF-8 byte sequences: the same verdict, the same replacements.
#include <algorithm>

#include "harness.h"

// Decodes by the rule "each maximal subpart of an ill-formed sequence becomes one U+FFFD".
static std::string referenceDecoding(std::string_view bytes) {
  const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
  std::string text;
  for (size_t i = 0, valid = 0; i < bytes.size(); i += std::max<size_t>(valid, 1)) {
    // The length of the sequence the lead byte starts (0: none), the range of the byte after it.
    const uint8_t lead = s[i];
    const size_t length = lead < 0x80                  ? 1
                          : lead < 0xC2 || lead > 0xF4 ? 0
                                                       : 2 + (lead >= 0xE0) + (lead >= 0xF0);
    const uint8_t low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const uint8_t high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    for (valid = length == 0 ? 0 : 1; valid < length && i + valid < bytes.size(); ++valid) {
      const uint8_t next = s[i + valid];
      if (valid == 1 ? next < low || next > high : next < 0x80 || next > 0xBF) break;
    }
    const bool whole = length > 0 && valid == length;
    text += whole ? bytes.substr(i, valid) : std::string_view("\xEF\xBF\xBD");
  }
  return text;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // No replacement can leave the bytes as they were: well-formed exactly when unchanged.
  const std::string reference = referenceDecoding(bytes);
  fuzzing::require(platform::isWellFormedUTF8(bytes) == (reference == bytes), "the same verdict");
  fuzzing::require(platform::decodeUTF8Leniently(bytes) == reference,
                   "the same text, replacements included");
  return 0;
}
