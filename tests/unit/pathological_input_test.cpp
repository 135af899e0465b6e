// Documents reported on marked's issue tracker that still keep marked 18.3.0 busy for
// many seconds: under a short time limit each conversion is stopped and the preview
// shows the escaped source instead.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "provider_access.h"
#include "support/bundle_sandbox.h"
#include "support/framing.h"
#include "support/run_process.h"

namespace {

using quillory::PreviewProviderInternals;

struct Pattern {
  const char* origin;
  // The document of the shape at `scale`; the cost grows faster than the length.
  std::string (*document)(int scale);
  int slowScale;  // unstopped, this takes marked 18.3.0 well over ten seconds
};

std::string repeated(const std::string& unit, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += unit;
  return text;
}

const Pattern kPatterns[] = {
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

std::vector<std::string> convertWithHost(const std::vector<std::string>& arguments,
                                         const std::vector<std::string>& documents) {
  // The hang guard: a host that has not finished after five minutes is killed (status 124).
  std::vector<std::string> argv{"/usr/bin/timeout", "300",
                                (testing_support::buildDirectory() / "conversion_host").string()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  auto result = testing_support::runProcess(argv, testing_support::frameAll(documents));
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  return testing_support::unframeAll(result.out);
}

TEST(PathologicalInput, SmallDocumentsOfEachShapeConvert) {
  std::vector<std::string> documents;
  for (const Pattern& pattern : kPatterns) documents.push_back(pattern.document(20));
  std::vector<std::string> fragments = convertWithHost({"convert"}, documents);
  ASSERT_EQ(fragments.size(), documents.size());
  for (size_t i = 0; i < documents.size(); ++i) {
    EXPECT_NE(fragments[i], PreviewProviderInternals::escapedPre(documents[i]))
        << kPatterns[i].origin;
  }
}

TEST(PathologicalInput, SlowDocumentsAreStoppedAndShownAsText) {
  std::vector<std::string> documents;
  for (const Pattern& pattern : kPatterns) documents.push_back(pattern.document(pattern.slowScale));
  std::vector<std::string> fragments =
      convertWithHost({"--time-limit", "250", "convert"}, documents);
  ASSERT_EQ(fragments.size(), documents.size());
  for (size_t i = 0; i < documents.size(); ++i) {
    EXPECT_EQ(fragments[i], PreviewProviderInternals::escapedPre(documents[i]))
        << kPatterns[i].origin;
  }
}

}  // namespace
