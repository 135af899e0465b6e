// The page's stylesheet from a bundle, and its nonce: fresh, also when the secure source fails.
#include <gtest/gtest.h>

#include <set>

#include "platform/text.h"
#include "provider_access.h"
#include "support/page.h"
#include "support/process.h"

namespace {

using quillory::PreviewProviderInternals;
using testing_support::nonceOf;

TEST(PageAssembly, MissingEmptyOrInvalidStylesheetLeavesTheStyleElementEmpty) {
  testing_support::TempDir docs;
  const auto doc = docs.write("doc.md", "plain *text*\n");
  for (const char* css : {static_cast<const char*>(nullptr), "", "body { color: red } \xC3\x28"}) {
    std::map<std::string, std::string> resources{
        {"marked.min.js", testing_support::realResource("marked.min.js")}};
    if (css != nullptr) resources["preview.css"] = css;
    const auto result = testing_support::BundleSandbox("quillory", resources).run({doc.string()});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(testing_support::bodyOfPage(result.out, ""), "<p>plain <em>text</em></p>\n")
        << result.out.substr(0, 400);
  }
}

int failingSource(std::span<uint8_t> buffer) {
  std::fill(buffer.begin(), buffer.end(), uint8_t{0xAB});  // written, yet reported as failed
  return EIO;
}

TEST(StyleNonce, IsFreshBase64OfSixteenBytesAlsoWhenTheSecureSourceFails) {
  const std::string failedBytes = platform::base64Encoded(std::string(16, '\xAB'));
  for (platform::SecureRandomSource source : {platform::secureRandomBytes, failingSource}) {
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
      const std::string nonce = PreviewProviderInternals::makeNonce(source);
      EXPECT_EQ(nonceOf("'nonce-" + nonce), nonce) << "not 24 characters of base64: " << nonce;
      EXPECT_NE(nonce, failedBytes);
      seen.insert(nonce);
    }
    EXPECT_EQ(seen.size(), 100u);
  }
}

TEST(Base64, MatchesTheStandardAlphabetAndPadding) {
  for (auto [bytes, text] : {std::pair<std::string, std::string>{"", ""},
                             {"f", "Zg=="},
                             {"fo", "Zm8="},
                             {"foobar", "Zm9vYmFy"},
                             {"\xFB\xFF\xBF", "+/+/"}}) {
    EXPECT_EQ(platform::base64Encoded(bytes), text);
  }
}

}  // namespace
