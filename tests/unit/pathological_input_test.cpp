// Documents from marked's issue tracker that keep marked 18.3.0 busy for many seconds, and
// documents whose HTML would be hundreds of megabytes: both shown as escaped source.
#include <gtest/gtest.h>

#include "provider_access.h"
#include "support/process.h"

namespace {

struct Pattern {
  const char* origin;
  std::string (*document)(int scale);  // the cost grows faster than the length
  int slowScale;  // unstopped: well over ten seconds of marked 18.3.0, or too much HTML
};

std::string repeated(const std::string& unit, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += unit;
  return text;
}

const Pattern kSlow[] = {
    // Emphasis delimiters inside words: quadratic in the length of the run.
    {"marked issue 396", [](int n) { return repeated("a_b__c", n); }, 20000},
    // List items each nested one level deeper than the last: cubic in the depth.
    {"marked issue 1471 (indented items)",
     [](int n) {
       std::string text;
       for (int i = 0; i < n; ++i) text += std::string(2 * i, ' ') + "- a\n";
       return text;
     },
     1200},
    // List markers in a row on one line, each opening a nested list.
    {"marked issue 1471 (markers in a row)", [](int n) { return repeated("- ", n) + "a"; }, 40000},
    // Block quote markers in a row, each opening a nested quote.
    {"marked issue 1462", [](int n) { return repeated(">", n); }, 200000},
};

// One long link target or title referenced again and again.
std::string referenced(const std::string& definition, int times) {
  return "[r]: " + definition + "\n\n" + repeated("[r] ", times);
}

const Pattern kAmplifying[] = {
    // 100 MB of HTML, longer than the budget in UTF-16 units already.
    {"a long link target",
     [](int n) { return referenced("http://example.com/" + std::string(1000, 'a'), n); }, 100000},
    // 30 million UTF-16 units, but 90 MB in UTF-8.
    {"a long CJK title", [](int n) { return referenced("/u \"" + repeated("中", 1000) + "\"", n); },
     30000},
};

// Each pattern's document at `scale` (its slow one when 0): escaped source exactly when
// `shownAsText`.
void expectConversions(std::span<const Pattern> patterns, int scale, const std::string& limitMs,
                       bool shownAsText) {
  std::vector<std::string> documents;
  for (const Pattern& pattern : patterns)
    documents.push_back(pattern.document(scale ? scale : pattern.slowScale));
  const auto fragments = testing_support::convertInHost(testing_support::program("conversion_host"),
                                                        documents, {"--time-limit", limitMs});
  ASSERT_EQ(fragments.size(), documents.size());
  for (size_t i = 0; i < documents.size(); ++i) {
    EXPECT_EQ(fragments[i] == quillory::PreviewProviderInternals::escapedPre(documents[i]),
              shownAsText)
        << patterns[i].origin;
  }
}

TEST(PathologicalInput, SmallOnesConvertSlowOnesAreStoppedAmplifyingOnesMeetTheBudget) {
  expectConversions(kSlow, 20, "10000", false);
  expectConversions(kAmplifying, 20, "10000", false);
  expectConversions(kSlow, 0, "250", true);
  expectConversions(kAmplifying, 0, "120000", true);  // only the fragment budget may stop these
}

}  // namespace
