// Fuzzes page assembly with the real engine: every page is the template around a nonce, the
// stylesheet and a body, and nothing outside the base is opened. With the first byte's low bits 0
// there is no time, so the body is the plain-text fallback: one pre element whose content holds
// no markup and unescapes to exactly the source.
#include <chrono>
#include <optional>

#include "harness.h"
#include "platform/script_context.h"
#include "provider_access.h"
#include "support/page.h"

namespace {

// The text escaped into `escaped`; nothing for a "<", ">" or an "&" beginning none of the three.
std::optional<std::string> unescaped(std::string_view escaped) {
  std::string text;
  for (size_t i = 0; i < escaped.size(); ++i) {
    const std::string_view rest = escaped.substr(i);
    if (rest[0] == '<' || rest[0] == '>') return std::nullopt;
    if (rest[0] != '&') {
      text += rest[0];
    } else if (rest.starts_with("&amp;") || rest.starts_with("&lt;") || rest.starts_with("&gt;")) {
      text += rest[1] == 'a' ? '&' : rest[1] == 'l' ? '<' : '>';
      i = escaped.find(';', i);
    } else {
      return std::nullopt;
    }
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using fuzzing::require;
  using quillory::PreviewProviderInternals;
  if (size == 0) return 0;
  const fuzzing::FixtureDirectory& fixture = fuzzing::fixtureDirectory();
  const bool noTime = (data[0] & 3) == 0;
  const std::string markdown = fixture.document(data + 1, size - 1);
  platform::ScriptContext::setTimeLimit(std::chrono::milliseconds(noTime ? 0 : 3000));
  const std::string page = fixture.openingNothingOutside(
      [&] { return PreviewProviderInternals::buildHTML(markdown, fixture.baseURL); });

  const auto body = testing_support::bodyOfPage(page, PreviewProviderInternals::cssSource());
  require(body.has_value(), "the page is the template around a nonce, the stylesheet and a body");
  if (noTime) {
    require(body->starts_with("<pre>") && body->ends_with("</pre>") &&
                unescaped(std::string_view(*body).substr(5, body->size() - 11)) == markdown,
            "the fallback is a pre element that unescapes to the source");
  }
  return 0;
}
