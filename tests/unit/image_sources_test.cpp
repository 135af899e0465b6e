// Finding img sources: the same matches as a plain scan with the image pattern, in linear time.
#include "images/image_sources.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace quillory {
namespace {

std::vector<std::pair<size_t, size_t>> asPairs(const std::vector<platform::TextRange>& ranges) {
  std::vector<std::pair<size_t, size_t>> pairs;
  for (const platform::TextRange& range : ranges) pairs.emplace_back(range.location, range.length);
  return pairs;
}

std::vector<platform::TextRange> sourcesByPlainScan(const std::string& html) {
  auto search = platform::RegexSearch::compile(kImagePattern, html, {.caseInsensitive = true});
  std::vector<platform::TextRange> sources;
  const std::vector<platform::RegexMatch> matches = search->allMatches().value();
  for (const platform::RegexMatch& match : matches) sources.push_back(match[2]);
  return sources;
}

TEST(ImageSources, AgreeWithAPlainScanOnRandomFragments) {
  // Weighted towards the pieces of a match, so most fragments hold matching and other tags.
  const std::vector<std::string> pieces = {
      "<img ", "<img ",  "<IMG\n",      "<imgx ",    "<img", " ",        "src=\"",
      "src='", "SRC=\"", "data-src=\"", "srcset=\"", "src=", "\"",       "\"",
      "'",     ">",      "a.png",       "a.png",     "it's", "\xC3\xA9", "\xF0\x9F\x98\x80"};
  std::mt19937 random(20240611);
  std::uniform_int_distribution<size_t> piece(0, pieces.size() - 1);
  std::uniform_int_distribution<int> length(0, 30);
  int withSeveralMatches = 0;
  for (int round = 0; round < 5000; ++round) {
    std::string html;
    for (int n = length(random); n > 0; --n) html += pieces[piece(random)];
    const auto expected = sourcesByPlainScan(html);
    withSeveralMatches += expected.size() >= 2;
    const auto found = imageSourceRanges(html).value();
    EXPECT_EQ(asPairs(found), asPairs(expected)) << html;
  }
  EXPECT_GT(withSeveralMatches, 400);
}

TEST(ImageSources, RunsOfTagsWithoutClosingBracketAreScannedOnce) {
  // A plain scan reads to the end from every "<img": hours for this size; ctest's timeout guards.
  std::string html = "<div>\n";
  while (html.size() < 2'000'000) html += "<img alt ";
  html += "> <img src=\"a.png\">";
  const auto sources = imageSourceRanges(html).value();
  ASSERT_EQ(sources.size(), 1u);
  EXPECT_EQ(html.substr(sources[0].location, sources[0].length), "a.png");
}

}  // namespace
}  // namespace quillory
