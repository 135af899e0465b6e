// Resource loading: each file read at most once per process, lazily, and bad files as empty.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <map>
#include <regex>

#include "support/bundle_sandbox.h"
#include "support/temp_dir.h"

namespace {

using testing_support::BundleSandbox;
using testing_support::realResource;

// Counts the opens of each file in a directory, as the kernel reports them.
class OpenCounter {
 public:
  explicit OpenCounter(const std::filesystem::path& directory)
      : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    EXPECT_GE(inotify_add_watch(fd_, directory.c_str(), IN_OPEN), 0);
  }
  ~OpenCounter() { close(fd_); }

  std::map<std::string, int> counts() {
    std::map<std::string, int> counts;
    alignas(inotify_event) char buffer[64 * 1024];
    for (ssize_t n; (n = read(fd_, buffer, sizeof buffer)) > 0;) {
      for (char* at = buffer; at < buffer + n;) {
        auto* event = reinterpret_cast<inotify_event*>(at);
        if (event->len > 0) ++counts[event->name];
        at += sizeof(inotify_event) + event->len;
      }
    }
    return counts;
  }

 private:
  int fd_;
};

std::map<std::string, std::string> realResources() {
  return {{"marked.min.js", realResource("marked.min.js")},
          {"katex.min.js", realResource("katex.min.js")},
          {"preview.css", realResource("preview.css")},
          {"script-engine.cache", realResource("script-engine.cache")}};
}

TEST(ResourceLoading, ConcurrentFirstUsesReadEachFileOnce) {
  testing_support::TempDir docs;
  auto doc = docs.write("doc.md", "# No math here\n");
  BundleSandbox bundle("conversion_host", realResources());
  OpenCounter opens(bundle.resourceDirectory());
  auto result = bundle.run({"pages", "8", doc.string()}, "go\n");
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 8);
  auto counts = opens.counts();
  EXPECT_EQ(counts["preview.css"], 1);
  EXPECT_EQ(counts["marked.min.js"], 1);
  EXPECT_EQ(counts["katex.min.js"], 0) << "no text with \"$\", so no math library";
  EXPECT_EQ(counts["script-engine.cache"], 1);
}

TEST(ResourceLoading, AnUnusableEngineCacheIsPassedOver) {
  const std::vector<std::string> documents{"# Title\n\n*text*\n", "$x$ and a | b |\n"};
  const auto expected = BundleSandbox("conversion_host", realResources()).convert(documents);
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

TEST(ResourceLoading, NothingIsReadBeforeTheFirstUse) {
  BundleSandbox bundle("conversion_host", realResources());
  OpenCounter opens(bundle.resourceDirectory());
  ASSERT_EQ(bundle.run({"convert"}).exitStatus, 0);
  EXPECT_TRUE(opens.counts().empty());
  // The math library is read at the first text that holds "$", once.
  ASSERT_EQ(bundle.convert({"a", "$x$", "b", "$y$"}).size(), 4u);
  auto counts = opens.counts();
  EXPECT_EQ(counts["marked.min.js"], 1);
  EXPECT_EQ(counts["katex.min.js"], 1);
  EXPECT_EQ(counts["preview.css"], 0) << "fragments need no stylesheet";
}

TEST(ResourceLoading, EmptyOrInvalidStylesheetGivesAnEmptyStyleElement) {
  testing_support::TempDir docs;
  auto doc = docs.write("doc.md", "text\n");
  for (const char* css : {"", "body { color: red } \xC3\x28"}) {
    auto resources = realResources();
    resources["preview.css"] = css;
    BundleSandbox bundle("quillory", resources);
    auto result = bundle.run({doc.string()});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_TRUE(
        std::regex_search(result.out, std::regex("<style nonce=\"[A-Za-z0-9+/]{22}==\"></style>")))
        << result.out.substr(0, 400);
  }
}

}  // namespace
