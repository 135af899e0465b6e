// Text: UTF-8 checks and repair, Unicode lower-casing, percent-decoding, base64.
#include "platform/text.h"

#include <unicode/locid.h>
#include <unicode/stringpiece.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <cstdint>

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

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
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

std::string lowercased(std::string_view text) {
  icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  std::string lower;
  unicode.toLower(icu::Locale::getRoot()).toUTF8String(lower);
  return lower;
}

std::optional<std::string> removingPercentEncoding(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      bytes += text[i];
      continue;
    }
    if (text.size() - i < 3) return std::nullopt;
    const int high = hexDigitValue(text[i + 1]);
    const int low = hexDigitValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes += static_cast<char>(high * 16 + low);
    i += 2;
  }
  if (!isWellFormedUTF8(bytes)) return std::nullopt;
  return bytes;
}

std::string base64Encoded(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const auto* in = reinterpret_cast<const uint8_t*>(bytes.data());
  const size_t n = bytes.size();
  std::string out((n + 2) / 3 * 4, '\0');
  char* o = out.data();
  size_t i = 0;
  for (; i + 3 <= n; i += 3) {
    uint32_t v = (uint32_t{in[i]} << 16) | (uint32_t{in[i + 1]} << 8) | in[i + 2];
    *o++ = kAlphabet[v >> 18];
    *o++ = kAlphabet[(v >> 12) & 63];
    *o++ = kAlphabet[(v >> 6) & 63];
    *o++ = kAlphabet[v & 63];
  }
  if (size_t rest = n - i; rest > 0) {
    uint32_t v = uint32_t{in[i]} << 16;
    if (rest == 2) v |= uint32_t{in[i + 1]} << 8;
    *o++ = kAlphabet[v >> 18];
    *o++ = kAlphabet[(v >> 12) & 63];
    *o++ = rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    *o++ = '=';
  }
  return out;
}

}  // namespace platform
