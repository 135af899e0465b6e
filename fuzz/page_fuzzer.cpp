// Fuzzes page assembly with the real engine: every page is the template around a nonce, the
// stylesheet and a body, opening nothing outside the base; with no time (first byte's low bits 0)
// the body is the fallback, the source escaped in a pre element.
#include <chrono>
#include <filesystem>
#include <string_view>

#include "harness.h"
#include "platform/confinement.h"
#include "platform/script_context.h"
#include "preview/confinement.h"
#include "provider_access.h"
#include "support/page.h"

static std::vector<std::string> libFuzzerDirectories;  // corpus directories, where findings go

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  for (int i = 1; i < *argc; ++i) {
    const std::string_view argument = (*argv)[i];
    if (argument.starts_with("-artifact_prefix=")) {
      libFuzzerDirectories.push_back(std::filesystem::path(argument.substr(17)).parent_path());
    } else if (!argument.starts_with("-")) {
      libFuzzerDirectories.emplace_back(argument);
    }
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using fuzzing::require;
  using quillory::PreviewProviderInternals;
  if (size == 0) return 0;
  const fuzzing::FixtureDirectory& fixture = fuzzing::fixtureDirectory();
  // Confined as the hosts are: the fixture, the resources and libFuzzer's directories only.
  static const bool confined = [&] {
    auto writable = libFuzzerDirectories;
    writable.push_back(fixture.root.path());
    platform::Allowed allowed = quillory::readingDocuments(writable);
    allowed.writeBeneath = writable;
    return platform::confine(allowed).files || platform::availableProtections().landlockABI == 0;
  }();
  require(confined, "the harness runs confined where the kernel has Landlock");
  const bool noTime = (data[0] & 3) == 0;
  const std::string markdown = fixture.document(data + 1, size - 1);
  const quillory::PreviewOptions options{.timeLimit = std::chrono::milliseconds(noTime ? 0 : 3000)};
  const std::string page = fixture.openingNothingOutside(
      [&] { return PreviewProviderInternals::buildHTML(markdown, fixture.baseURL, options); });

  const auto body = testing_support::bodyOfPage(page, PreviewProviderInternals::cssSource());
  require(body.has_value(), "the page is the template around a nonce, the stylesheet and a body");
  std::string escaped = "<pre>";
  for (char c : markdown)
    escaped += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : std::string(1, c);
  require(!noTime || *body == escaped + "</pre>",
          "the fallback is the escaped source in a pre element");
  return 0;
}
