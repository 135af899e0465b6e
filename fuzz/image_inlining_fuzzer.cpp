// Fuzzes image inlining against the fixture tree: it ends, opens nothing outside the base
// directory, and changes nothing but img sources.
#include <cctype>

#include "harness.h"
#include "provider_access.h"

namespace {

using fuzzing::require;

// Where the texts part, `result` holds a base64 data: URI in place of a whole quoted value, and
// never the base64 of a file outside the base.
void requireOnlySourcesReplaced(std::string_view html, std::string_view result,
                                std::string_view forbiddenBase64) {
  constexpr auto npos = std::string_view::npos;
  for (size_t i = 0, j = 0; i < html.size() || j < result.size();) {
    if (i < html.size() && j < result.size() && html[i] == result[j]) {
      ++i, ++j;
      continue;
    }
    const size_t quote = i == 0 ? npos : html.find_last_of("\"'", i - 1);
    require(quote != npos, "a replacement follows a quotation mark");
    j -= i - (quote + 1), i = quote + 1;
    const size_t sourceEnd = html.find_first_of("\"'", i), uriEnd = result.find_first_of("\"'", j);
    require(sourceEnd != npos && uriEnd != npos, "a replaced source ends at a quotation mark");
    const std::string_view uri = result.substr(j, uriEnd - j);
    const size_t comma = uri.find(";base64,");
    const std::string_view payload = uri.substr(std::min(comma + 8, uri.size()));
    require(uri.starts_with("data:") && comma != npos && payload.size() % 4 == 0 &&
                payload.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                          "abcdefghijklmnopqrstuvwxyz0123456789+/=") == npos,
            "a replaced source is a base64 data: URI");
    require(payload != forbiddenBase64, "no file outside the base is embedded");
    i = sourceEnd, j = uriEnd;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fuzzing::FixtureDirectory& fixture = fuzzing::fixtureDirectory();
  const std::string html = fixture.document(data, size);
  const std::string result = fixture.openingNothingOutside(
      [&] { return quillory::PreviewProviderInternals::inlineLocalImages(html, fixture.baseURL); });
  std::string lower = html;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  require(lower.find("<img") != std::string::npos || result == html,
          "without <img nothing changes");
  requireOnlySourcesReplaced(html, result, fixture.outsideBase64);
  return 0;
}
