// Fuzzes page assembly with the real engine: every page is the template around a nonce, the
// stylesheet and a body, and nothing outside the base is opened. With the first byte's low bits 0
// there is no time, so the body is the plain-text fallback: the source, escaped, in a pre element.
#include <chrono>

#include "harness.h"
#include "platform/script_context.h"
#include "provider_access.h"
#include "support/page.h"

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
  std::string escaped = "<pre>";
  for (char c : markdown)
    escaped += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : std::string(1, c);
  require(!noTime || *body == escaped + "</pre>",
          "the fallback is the escaped source in a pre element");
  return 0;
}
