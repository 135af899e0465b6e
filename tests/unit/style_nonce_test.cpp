// The style nonce: its form, its freshness, and the fallback when the secure source fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>

#include "platform/text.h"
#include "provider_access.h"

namespace {

using quillory::PreviewProviderInternals;

void expectNonceForm(const std::string& nonce) {
  ASSERT_EQ(nonce.size(), 24u) << nonce;
  EXPECT_EQ(nonce.substr(22), "==");
  EXPECT_TRUE(std::all_of(nonce.begin(), nonce.begin() + 22, [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/';
  })) << nonce;
}

int failingSource(std::span<uint8_t> buffer) {
  std::fill(buffer.begin(), buffer.end(), uint8_t{0xAB});  // written, then reported as failed
  return EIO;
}

TEST(StyleNonce, IsFreshStandardBase64OfSixteenBytes) {
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    std::string nonce = PreviewProviderInternals::makeNonce();
    expectNonceForm(nonce);
    seen.insert(nonce);
  }
  EXPECT_EQ(seen.size(), 200u);
}

TEST(StyleNonce, FailingSecureSourceIsReplacedWholly) {
  const std::string written = platform::base64Encoded(std::string(16, '\xAB'));
  std::set<std::string> seen;
  for (int i = 0; i < 50; ++i) {
    std::string nonce = PreviewProviderInternals::makeNonce(failingSource);
    expectNonceForm(nonce);
    EXPECT_NE(nonce, written);
    seen.insert(nonce);
  }
  EXPECT_EQ(seen.size(), 50u);
}

TEST(Base64, MatchesTheStandardAlphabetAndPadding) {
  EXPECT_EQ(platform::base64Encoded(""), "");
  EXPECT_EQ(platform::base64Encoded("f"), "Zg==");
  EXPECT_EQ(platform::base64Encoded("fo"), "Zm8=");
  EXPECT_EQ(platform::base64Encoded("foo"), "Zm9v");
  EXPECT_EQ(platform::base64Encoded("foobar"), "Zm9vYmFy");
  EXPECT_EQ(platform::base64Encoded(std::string("\xFB\xFF\xBF", 3)), "+/+/");
}

}  // namespace
