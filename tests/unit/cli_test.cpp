// The quillory command as a user runs it: output, errors and exit statuses.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/bundle_sandbox.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace {

using testing_support::runProcess;
using testing_support::TempDir;

std::string quillory() { return (testing_support::buildDirectory() / "quillory").string(); }

TEST(CommandLine, WritesThePageToStandardOutput) {
  TempDir dir;
  auto doc = dir.write("doc.md", "# Hello\n");
  auto result = runProcess({quillory(), doc.string()});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_TRUE(result.out.starts_with("<!DOCTYPE html>\n"));
  EXPECT_NE(result.out.find("<h1>Hello</h1>"), std::string::npos);
  EXPECT_TRUE(result.out.ends_with("</html>"));
}

TEST(CommandLine, OutputFileIsReplacedOnlyByAWholePage) {
  TempDir dir;
  auto doc = dir.write("doc.md", "# Hello\n");
  auto out = dir.path() / "page.html";
  auto result = runProcess({quillory(), "-o", out.string(), doc.string()});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_NE(testing_support::readWholeFile(out).find("<h1>Hello</h1>"), std::string::npos);

  // A failed run leaves the older page as it was, and no temporary file behind.
  dir.write("page.html", "older page");
  result = runProcess({quillory(), "--output", out.string(), (dir.path() / "gone.md").string()});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(testing_support::readWholeFile(out), "older page");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);

  result = runProcess({quillory(), "-o", (dir.path() / "no/such/dir/p.html").string(),
                       doc.string()});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.err.find("no/such/dir/p.html: No such file or directory"), std::string::npos)
      << result.err;
}

TEST(CommandLine, UnreadableFileIsNamedWithTheReason) {
  TempDir dir;
  struct Case {
    std::string argument, reason;
  };
  dir.write("sub/x.md", "x");
  for (const Case& c : {Case{"notes.md", "No such file or directory"},
                        Case{"sub", "Is a directory"}}) {
    auto path = (dir.path() / c.argument).string();
    auto result = runProcess({quillory(), path});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "quillory: " + path + ": " + c.reason + "\n");
  }
}

TEST(CommandLine, UsageHelpAndVersion) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{}, {"a.md", "b.md"}, {"--bogus", "a.md"}, {"-o"}}) {
    std::vector<std::string> argv{quillory()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    auto result = runProcess(argv);
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("Usage: quillory [-o OUT] FILE"), std::string::npos) << result.err;
  }
  auto help = runProcess({quillory(), "--help"});
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_TRUE(help.out.starts_with("Usage: quillory [-o OUT] FILE\n"));
  EXPECT_NE(help.out.find("--output"), std::string::npos);
  auto version = runProcess({quillory(), "--version"});
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_EQ(version.out, "quillory " QUILLORY_VERSION "\n");
}

}  // namespace
