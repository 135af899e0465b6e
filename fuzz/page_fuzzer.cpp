// Fuzzes page assembly with the real engine: every page is the template around a nonce, the
// stylesheet and a body; nothing outside the base is opened. First byte's low bits 0: no time,
// so the body is the escaped source.
#include <chrono>
#include <cstdint>

#include "harness.h"
#include "platform/script_context.h"
#include "platform/text.h"
#include "provider_access.h"
#include "support/page.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using fuzzing::require;
  using quillory::PreviewProviderInternals;
  if (size == 0) return 0;
  const fuzzing::FixtureDirectory& fixture = fuzzing::fixtureDirectory();
  const bool noTime = (data[0] & 3) == 0;
  const std::string markdown = fixture.withRootPath(platform::decodeUTF8Leniently(
      std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1)));

  platform::ScriptContext::setTimeLimit(std::chrono::milliseconds(noTime ? 0 : 3000));
  auto opens = fixture.watchOutside();
  const std::string page = PreviewProviderInternals::buildHTML(
      markdown, platform::FileURL::fileURLWithPath(fixture.base.string()));
  fuzzing::requireNothingOpenedOutside(opens);

  const auto body = testing_support::bodyOfPage(page, PreviewProviderInternals::cssSource());
  require(body.has_value(), "the page is the template around a nonce, the stylesheet and a body");
  if (noTime) {
    require(body->starts_with("<pre>") && body->ends_with("</pre>"),
            "the fallback is a pre element");
    require(fuzzing::unescaped(std::string_view(*body).substr(5, body->size() - 11)) == markdown,
            "the fallback unescapes to the source");
  }
  return 0;
}
