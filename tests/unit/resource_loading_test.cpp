// Resources read lazily, once per process, unusable ones passed over; the style nonce, fresh.
#include <gtest/gtest.h>

#include <set>

#include "platform/text.h"
#include "provider_access.h"
#include "support/page.h"
#include "support/process.h"

namespace {

using quillory::PreviewProviderInternals;
using testing_support::BundleSandbox;
using testing_support::nonceOf;
using testing_support::realResource;

std::map<std::string, std::string> realResources() {
  std::map<std::string, std::string> resources;
  for (const char* name : {"marked.min.js", "katex.min.js", "preview.css", "script-engine.cache"})
    resources[name] = realResource(name);
  return resources;
}

TEST(ResourceLoading, ConcurrentFirstUsesReadEachFileOnce) {
  // Batch mode keeps requests for several files in flight at once from the start.
  testing_support::TempDir docs;
  std::vector<std::string> arguments{"-d", docs.path() / "pages"};
  for (int i = 0; i < 8; ++i)
    arguments.push_back(docs.write(std::to_string(i) + ".md", "# No math\n"));
  BundleSandbox bundle("quillory", realResources());
  testing_support::OpenCounter opens({bundle.resourceDirectory()});
  const auto result = bundle.run(arguments);
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(opens.counts(),
            (std::map<std::string, int>{
                {"marked.min.js", 1}, {"preview.css", 1}, {"script-engine.cache", 1}}))
      << "no text with \"$\", so no math library";
}

// Nothing is read before the first use; a cache that cannot be used is passed over.
TEST(ResourceLoading, ReadAtTheFirstUseOnlyAndAnUnusableCacheIsPassedOver) {
  const std::vector<std::string> documents{"# Title\n\n*text*\n", "$x$ and a | b |\n", "$y$"};
  const BundleSandbox host("conversion_host", realResources());
  testing_support::OpenCounter opens({host.resourceDirectory()});
  ASSERT_EQ(host.run({"convert"}).exitStatus, 0);
  EXPECT_TRUE(opens.counts().empty());
  const auto expected = host.convert(documents);
  // The math library at the first "$", once; fragments need no stylesheet.
  EXPECT_EQ(opens.counts(),
            (std::map<std::string, int>{
                {"katex.min.js", 1}, {"marked.min.js", 1}, {"script-engine.cache", 1}}));
  const std::string cache = realResource("script-engine.cache");
  std::string otherBuild = cache;
  otherBuild.replace(otherBuild.find("spidermonkey-") + 13, 4, "0000");
  for (const std::string& unusable :
       {cache.substr(0, cache.size() / 2), otherBuild, std::string("not a cache"), std::string()}) {
    auto resources = realResources();
    resources["script-engine.cache"] = unusable;
    EXPECT_EQ(BundleSandbox("conversion_host", resources).convert(documents), expected);
    const auto version = BundleSandbox("quillory", resources).run({"--version"}).out;
    EXPECT_EQ(version.find("matches the loaded engine"), std::string::npos) << version;
  }
}

TEST(PageAssembly, MissingEmptyOrInvalidStylesheetLeavesTheStyleElementEmpty) {
  testing_support::TempDir docs;
  const auto doc = docs.write("doc.md", "plain *text*\n");
  for (const char* css : {static_cast<const char*>(nullptr), "", "body { color: red } \xC3\x28"}) {
    std::map<std::string, std::string> resources{{"marked.min.js", realResource("marked.min.js")}};
    if (css != nullptr) resources["preview.css"] = css;
    const auto result = BundleSandbox("quillory", resources).run({doc});
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
  const std::pair<std::string, std::string> cases[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foobar", "Zm9vYmFy"}, {"\xFB\xFF\xBF", "+/+/"}};
  for (const auto& [bytes, text] : cases) EXPECT_EQ(platform::base64Encoded(bytes), text);
}

}  // namespace
