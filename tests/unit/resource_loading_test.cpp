// Resources read at most once per process, lazily, also by concurrent first uses; an unfit cache
// passed over.
#include <gtest/gtest.h>

#include <map>

#include "support/process.h"

namespace {

using testing_support::BundleSandbox;
using testing_support::realResource;

std::map<std::string, std::string> realResources() {
  std::map<std::string, std::string> resources;
  for (const char* name : {"marked.min.js", "katex.min.js", "preview.css", "script-engine.cache"}) {
    resources[name] = realResource(name);
  }
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

TEST(ResourceLoading, NothingIsReadBeforeTheFirstUse) {
  BundleSandbox bundle("conversion_host", realResources());
  testing_support::OpenCounter opens({bundle.resourceDirectory()});
  ASSERT_EQ(bundle.run({"convert"}).exitStatus, 0);
  EXPECT_TRUE(opens.counts().empty());
  // The math library at the first "$", once; fragments need no stylesheet.
  ASSERT_EQ(bundle.convert({"a", "$x$", "b", "$y$"}).size(), 4u);
  const auto counts = opens.counts();
  EXPECT_EQ(counts.at("marked.min.js"), 1);
  EXPECT_EQ(counts.at("katex.min.js"), 1);
  EXPECT_EQ(counts.count("preview.css"), 0u);
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

}  // namespace
