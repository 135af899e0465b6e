// Fuzzes the whole page assembly with the real script engine and libraries: every page
// is the template around one nonce (written twice) and a body, and no file is opened
// outside the previewed file's directory but the resource files (and the engine's and
// the C library's looks into /proc). The first input byte picks the way: when its two
// low bits are 0 the conversion has no time at all, so the body must be the escaped
// source, which must unescape to the source.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fixture_directory.h"
#include "html_unescaping.h"
#include "open_watch.h"
#include "platform/script_context.h"
#include "platform/text.h"
#include "provider_access.h"
#include "requirement.h"

namespace {

using fuzzing::require;
using namespace std::chrono_literals;

constexpr std::string_view kPolicyStart =
    "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
    "<meta http-equiv=\"Content-Security-Policy\"\n"
    "      content=\"default-src 'none'; img-src data:; style-src 'nonce-";
constexpr std::string_view kPolicyEnd = "'; script-src 'none';\">\n<style nonce=\"";
constexpr std::string_view kBodyStart =
    "</style>\n</head>\n<body>\n<article id=\"content\" class=\"md\">";
constexpr std::string_view kPageEnd =
    "</article>\n<div class=\"md-watermark\">Rendered by Quillory</div>\n</body>\n</html>";

size_t occurrences(std::string_view text, std::string_view part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

bool isNonce(std::string_view text) {
  return text.size() == 24 && text.ends_with("==") &&
         text.substr(0, 22).find_first_not_of(
             "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/") ==
             std::string_view::npos;
}

// The resource files lie in resources/ beside the program.
std::string resourceDirectory() {
  std::string program = fuzzing::realPathOf("/proc/self/exe");
  return program.substr(0, program.rfind('/')) + "/resources";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const fuzzing::FixtureDirectory& fixture = fuzzing::fixtureDirectory();
  const bool noTime = (data[0] & 3) == 0;
  // Source text as reading the file makes it.
  const std::string markdown = fuzzing::withRootPath(platform::decodeUTF8Leniently(
      std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1)));

  // A document that keeps the engine busy this long is stopped and shown as text.
  platform::ScriptContext::setTimeLimit(noTime ? 0ms : 3000ms);
  static const std::vector<std::string> allowedDirectories = {
      fuzzing::realPathOf(fixture.base.string()), resourceDirectory(), "/proc"};
  std::string page;
  {
    fuzzing::OpenWatch watch;
    page = quillory::PreviewProviderInternals::buildHTML(
        markdown, platform::FileURL::fileURLWithPath(fixture.base.string()));
    if (auto outside = watch.openedOutside(allowedDirectories)) {
      std::fprintf(stderr, "opened outside the base directory: %s\n", outside->c_str());
      __builtin_trap();
    }
  }

  require(page.starts_with(kPolicyStart), "the page opens with the policy");
  const std::string_view nonce = std::string_view(page).substr(kPolicyStart.size(), 24);
  require(isNonce(nonce), "the nonce is 24 characters of base64");
  require(std::string_view(page).substr(kPolicyStart.size() + 24).starts_with(kPolicyEnd),
          "the policy ends after the nonce");
  require(occurrences(page, nonce) == 2, "the nonce appears exactly twice");
  require(page.ends_with(kPageEnd), "the page ends with the watermark and </html>");
  const size_t bodyStart = page.find(kBodyStart);
  require(bodyStart != std::string::npos, "the body has its article");
  const std::string_view body = std::string_view(page).substr(
      bodyStart + kBodyStart.size(), page.size() - kPageEnd.size() - bodyStart - kBodyStart.size());

  if (noTime) {
    require(body.starts_with("<pre>") && body.ends_with("</pre>"), "the fallback is a pre element");
    require(fuzzing::unescaped(body.substr(5, body.size() - 11)) == markdown,
            "the fallback unescapes to the source");
  }
  return 0;
}
