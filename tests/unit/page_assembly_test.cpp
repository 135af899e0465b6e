// The assembled page: the exact template around nonce, stylesheet, body and watermark.
#include <gtest/gtest.h>

#include "provider_access.h"
#include "support/bundle_sandbox.h"
#include "support/temp_dir.h"

namespace {

using quillory::PreviewProviderInternals;

const std::string kWatermark = "<div class=\"md-watermark\">Rendered by Quillory</div>";

std::string expectedPage(const std::string& nonce, const std::string& css,
                         const std::string& body) {
  return "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta http-equiv=\"Content-Security-Policy\"\n"
         "      content=\"default-src 'none'; img-src data:; style-src 'nonce-" +
         nonce + "'; script-src 'none';\">\n<style nonce=\"" + nonce + "\">" + css +
         "</style>\n</head>\n<body>\n<article id=\"content\" class=\"md\">" + body +
         "</article>\n" + kWatermark + "\n</body>\n</html>";
}

// The nonce, read from the policy.
std::string nonceOf(const std::string& page) {
  const std::string marker = "'nonce-";
  size_t at = page.find(marker);
  return at == std::string::npos ? "" : page.substr(at + marker.size(), 24);
}

size_t occurrences(const std::string& text, const std::string& needle) {
  size_t count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
    ++count;
  }
  return count;
}

const platform::FileURL kBase = platform::FileURL::fileURLWithPath("/nonexistent/dir");

TEST(PageAssembly, PageIsTheTemplateAroundItsPieces) {
  const std::string markdown =
      "# Title\n\n<script>alert(1)</script>\n\n<p style=\"color:red\">"
      "x</p>\n\n</article>\n";
  const std::string body = PreviewProviderInternals::markdownToHTML(markdown);
  ASSERT_NE(body.find("<script>alert(1)</script>"), std::string::npos) << body;
  ASSERT_NE(body.find("style=\"color:red\""), std::string::npos) << body;

  const std::string page = PreviewProviderInternals::buildHTML(markdown, kBase);
  const std::string nonce = nonceOf(page);
  const std::string& css = PreviewProviderInternals::cssSource();
  EXPECT_FALSE(css.empty());
  EXPECT_EQ(page, expectedPage(nonce, css, body));
  EXPECT_EQ(occurrences(page, nonce), 2u);
  EXPECT_EQ(page.size(), 287 + 2 * 24 + css.size() + body.size() + kWatermark.size());
  EXPECT_TRUE(page.ends_with("</html>"));
}

TEST(PageAssembly, EachPageHasItsOwnNonce) {
  const std::string first = PreviewProviderInternals::buildHTML("text", kBase);
  const std::string second = PreviewProviderInternals::buildHTML("text", kBase);
  EXPECT_NE(nonceOf(first), nonceOf(second));
  EXPECT_EQ(first.size(), second.size());
}

TEST(PageAssembly, FallbackBodyIsWrappedLikeAnyOther) {
  // An empty source converts to nothing usable, so the body is the empty fallback.
  const std::string page = PreviewProviderInternals::buildHTML("", kBase);
  EXPECT_EQ(page,
            expectedPage(nonceOf(page), PreviewProviderInternals::cssSource(), "<pre></pre>"));
}

TEST(PageAssembly, MissingStylesheetLeavesTheStyleElementEmpty) {
  testing_support::TempDir docs;
  auto doc = docs.write("doc.md", "plain *text*\n");
  testing_support::BundleSandbox bundle(
      "quillory", {{"marked.min.js", testing_support::realResource("marked.min.js")}});
  auto result = bundle.run({doc.string()});
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  const std::string nonce = nonceOf(result.out);
  EXPECT_EQ(result.out, expectedPage(nonce, "", "<p>plain <em>text</em></p>\n"));
}

}  // namespace
