// Fuzzes image inlining against the fixture tree: it ends, opens nothing outside the base
// directory, and changes nothing but img sources.
#include <cctype>
#include <cstdint>

#include "harness.h"
#include "platform/text.h"
#include "provider_access.h"

namespace {

using fuzzing::require;

bool isBase64Text(std::string_view text) {
  return text.size() % 4 == 0 &&
         text.find_first_not_of(
             "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=") ==
             std::string_view::npos;
}

// Where the texts part, `result` holds a data: URI in place of a whole quoted source value.
void requireOnlySourcesReplaced(std::string_view html, std::string_view result,
                                std::string_view forbiddenBase64) {
  size_t i = 0, j = 0;
  while (i < html.size() || j < result.size()) {
    if (i < html.size() && j < result.size() && html[i] == result[j]) {
      ++i, ++j;
      continue;
    }
    const size_t quote = i == 0 ? std::string_view::npos : html.find_last_of("\"'", i - 1);
    require(quote != std::string_view::npos, "a replacement follows a quotation mark");
    const size_t back = i - (quote + 1);
    i -= back, j -= back;
    const size_t sourceEnd = html.find_first_of("\"'", i), uriEnd = result.find_first_of("\"'", j);
    require(sourceEnd != std::string_view::npos && uriEnd != std::string_view::npos,
            "a replaced source ends at a quotation mark");
    const std::string_view uri = result.substr(j, uriEnd - j);
    const size_t comma = uri.find(";base64,");
    require(uri.starts_with("data:") && comma != std::string_view::npos,
            "a replaced source is a base64 data: URI");
    require(isBase64Text(uri.substr(comma + 8)), "the URI carries base64 text");
    require(uri.substr(comma + 8) != forbiddenBase64, "no file outside the base is embedded");
    i = sourceEnd, j = uriEnd;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fuzzing::FixtureDirectory& fixture = fuzzing::fixtureDirectory();
  const std::string html = fixture.withRootPath(
      platform::decodeUTF8Leniently(std::string_view(reinterpret_cast<const char*>(data), size)));
  auto opens = fixture.watchOutside();
  const std::string result = quillory::PreviewProviderInternals::inlineLocalImages(
      html, platform::FileURL::fileURLWithPath(fixture.base.string()));
  fuzzing::requireNothingOpenedOutside(opens);
  std::string lower = html;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower.find("<img") == std::string::npos)
    require(result == html, "without <img nothing changes");
  requireOnlySourcesReplaced(html, result, fixture.outsideBase64);
  return 0;
}
