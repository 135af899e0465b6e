// The quillory command as a user runs it: output, errors and exit statuses.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

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

  result =
      runProcess({quillory(), "-o", (dir.path() / "no/such/dir/p.html").string(), doc.string()});
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
  for (const Case& c :
       {Case{"notes.md", "No such file or directory"}, Case{"sub", "Is a directory"}}) {
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
  EXPECT_TRUE(version.out.starts_with("quillory " QUILLORY_VERSION "\n")) << version.out;
  EXPECT_NE(version.out.find("script engine cache: matches the loaded engine\n"), std::string::npos)
      << version.out;
}

}  // namespace

namespace {

TEST(CommandLineBatch, RendersEveryFileAndListsTheFailures) {
  TempDir in, out;
  auto one = in.write("one.md", "# One\n");
  in.write("docs/guide.markdown", "# Guide\n");
  in.write("docs/deep/notes.MD", "# Notes\n");
  in.write("docs/picture.png", "not markdown");
  auto pages = out.path() / "pages";
  auto result = runProcess({quillory(), "-d", pages.string(), one.string(),
                            (in.path() / "docs").string(), (in.path() / "gone.md").string()});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "quillory: 1 of 4 files failed:\n  " + (in.path() / "gone.md").string() +
                            ": No such file or directory\n");
  EXPECT_NE(testing_support::readWholeFile(pages / "one.html").find("<h1>One</h1>"),
            std::string::npos);
  EXPECT_NE(testing_support::readWholeFile(pages / "guide.html").find("<h1>Guide</h1>"),
            std::string::npos);
  EXPECT_NE(testing_support::readWholeFile(pages / "deep/notes.html").find("<h1>Notes</h1>"),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(pages / "picture.html"));
}

TEST(CommandLineBatch, SuccessIsQuietAndTwoFilesNeverShareAPage) {
  TempDir in, out;
  auto a = in.write("a/readme.md", "A\n");
  auto b = in.write("b/readme.md", "B\n");
  auto c = in.write("c.md", "C\n");
  auto quiet = runProcess({quillory(), "-d", out.path().string(), a.string(), c.string()});
  EXPECT_EQ(quiet.exitStatus, 0);
  EXPECT_EQ(quiet.err, "");

  auto clash =
      runProcess({quillory(), "--output-dir", out.path().string(), a.string(), b.string()});
  EXPECT_EQ(clash.exitStatus, 1);
  EXPECT_NE(clash.err.find(b.string() + ": its page " + out.path().string() +
                           "/readme.html is already the page of " + a.string()),
            std::string::npos)
      << clash.err;
  EXPECT_NE(testing_support::readWholeFile(out.path() / "readme.html").find("<p>A</p>"),
            std::string::npos);
}

TEST(CommandLineBatch, DirectoriesThatCannotBeMadeAreNamedWithTheReason) {
  TempDir in, out;
  auto doc = in.write("doc.md", "# Doc\n");
  out.write("file", "not a directory");
  std::filesystem::create_symlink("nowhere", out.path() / "dangling");
  struct Case {
    std::string outputDirectory, reason;
  };
  for (const Case& c : {Case{"file", "Not a directory"}, Case{"file/sub", "Not a directory"},
                        Case{"dangling", "No such file or directory"},
                        Case{"dangling/sub", "No such file or directory"}}) {
    const std::string outputDirectory = (out.path() / c.outputDirectory).string();
    auto result = runProcess({quillory(), "-d", outputDirectory, doc.string()});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err, "quillory: " + outputDirectory + ": " + c.reason + "\n");
  }

  // The directory of one page, below the output directory, fails that page alone.
  in.write("docs/deep/notes.md", "# Notes\n");
  in.write("docs/top.md", "# Top\n");
  auto pages = out.path() / "pages";
  out.write("pages/deep", "not a directory");
  auto result = runProcess({quillory(), "-d", pages.string(), (in.path() / "docs").string()});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err, "quillory: 1 of 2 files failed:\n  " +
                            (pages / "deep/notes.html").string() + ": Not a directory\n");
  EXPECT_NE(testing_support::readWholeFile(pages / "top.html").find("<h1>Top</h1>"),
            std::string::npos);
}

TEST(CommandLineBatch, FilesInADirectoryThatLinkOutsideItAreSkippedAndListed) {
  namespace fs = std::filesystem;
  TempDir in, out;
  in.write("docs/real.md", "# Real\n");
  in.write("secret/private.md", "# Private\n");
  const fs::path docs = in.path() / "docs";
  fs::create_symlink("real.md", docs / "alias.md");
  fs::create_symlink(docs / "real.md", docs / "absolute.md");
  fs::create_symlink("../secret/private.md", docs / "notes.md");
  fs::create_symlink(in.path() / "secret/private.md", docs / "away.md");
  fs::create_directory_symlink("../secret", docs / "linked");
  auto result = runProcess({quillory(), "-d", out.path().string(), docs.string()});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err, "quillory: 2 of 5 files failed:\n  " + (docs / "away.md").string() +
                            ": links outside " + docs.string() + "\n  " +
                            (docs / "notes.md").string() + ": links outside " + docs.string() +
                            "\n");
  for (auto [page, written] : {std::pair{"real.html", true},
                               {"alias.html", true},
                               {"absolute.html", true},
                               {"notes.html", false},
                               {"away.html", false},
                               {"linked/private.html", false}}) {
    EXPECT_EQ(fs::exists(out.path() / page), written) << page;
  }

  // Named by itself, a file is the user's choice, wherever its link leads.
  auto named =
      runProcess({quillory(), "-d", (out.path() / "named").string(), (docs / "notes.md").string()});
  EXPECT_EQ(named.exitStatus, 0) << named.err;
  EXPECT_NE(
      testing_support::readWholeFile(out.path() / "named/notes.html").find("<h1>Private</h1>"),
      std::string::npos);
}

TEST(CommandLineBatch, OptionMistakesAreUsageErrors) {
  TempDir dir;
  auto doc = dir.write("doc.md", "x");
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"-o", "x.html", "-d", "out", doc.string()},
        {"--time-limit", "soon", doc.string()},
        {"--time-limit", "0", doc.string()},
        {"-d", "out"}}) {
    std::vector<std::string> argv{quillory()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    EXPECT_EQ(runProcess(argv).exitStatus, 2) << arguments[0];
  }
  auto result = runProcess({quillory(), "--time-limit", "2.5", doc.string()});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
}

}  // namespace
