// Fuzzes image inlining against the fixture tree: it ends, opens nothing outside the base
// directory (so embeds nothing from there), and changes nothing but img sources.
#include "harness.h"
#include "images/image_sources.h"
#include "provider_access.h"

using fuzzing::require;
constexpr auto npos = std::string_view::npos;

// Outside the sources a plain scan with the image pattern finds, `result` is `html`; each
// source stays as it is or becomes a base64 data: URI.
static void requireOnlySourcesReplaced(std::string_view html, std::string_view result) {
  auto search =
      platform::RegexSearch::compile(quillory::kImagePattern, html, {.caseInsensitive = true});
  const std::vector<platform::RegexMatch> matches = search->allMatches().value();
  size_t i = 0, j = 0;  // where the texts go on alike
  for (const platform::RegexMatch& match : matches) {
    const platform::TextRange source = match[2];
    require(result.substr(j, source.location - i) == html.substr(i, source.location - i),
            "only img sources change");
    j += source.location - i, i = source.end();
    // The source's closing quotation mark ends what took its place.
    const std::string_view uri = result.substr(j, result.find(html[i], j) - j);
    const size_t comma = uri.find(";base64,");
    const std::string_view payload = uri.substr(std::min(comma + 8, uri.size()));
    require(uri == html.substr(source.location, source.length) ||
                (uri.starts_with("data:") && comma != npos && payload.size() % 4 == 0 &&
                 payload.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                           "abcdefghijklmnopqrstuvwxyz0123456789+/=") == npos),
            "a source stays or becomes a base64 data: URI");
    j += uri.size();
  }
  require(result.substr(j) == html.substr(i), "only img sources change");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fuzzing::FixtureDirectory& fixture = fuzzing::fixtureDirectory();
  const std::string html = fixture.document(data, size);
  requireOnlySourcesReplaced(html, fixture.openingNothingOutside([&] {
    return quillory::PreviewProviderInternals::inlineLocalImages(html, fixture.baseURL);
  }));
  return 0;
}
