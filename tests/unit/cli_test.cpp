// The quillory command as a user runs it: output, errors, exit statuses, batch mode, and
// faults: temporary files, devices and FIFOs, interrupts, size limits, a reader gone, non-UTF-8
// names.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using testing_support::readWholeFile;
using testing_support::TempDir;

const std::string kPageEnd = "Rendered by Quillory</div>\n</body>\n</html>";

testing_support::ProcessResult quillory(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), testing_support::program("quillory"));
  return testing_support::runProcess(arguments);
}

std::set<std::string> namesIn(const fs::path& directory) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory)) names.insert(entry.path().filename());
  return names;
}
bool holds(const fs::path& file, const std::string& part) {
  return readWholeFile(file).find(part) != std::string::npos;
}

TEST(CommandLine, WritesThePageToStandardOutputOrReplacesTheOutputFileWhole) {
  TempDir dir;
  // File names need not be UTF-8: "café" and "été" in Latin-1.
  const auto doc = dir.write("caf\xE9.md", "# Hello\n");
  auto result = quillory({doc});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_TRUE(result.out.starts_with("<!DOCTYPE html>\n") && result.out.ends_with(kPageEnd));
  EXPECT_TRUE(result.out.find("<h1>Hello</h1>") != std::string::npos);

  const auto out = dir.path() / "\xE9t\xE9.html";
  result = quillory({"-o", out, doc});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_TRUE(holds(out, "<h1>Hello</h1>"));
  // A failed run leaves the older page as it was, and no temporary file behind.
  dir.write(out.filename(), "older page");
  EXPECT_EQ(quillory({"--output", out, dir.path() / "gone.md"}).exitStatus, 1);
  EXPECT_EQ(readWholeFile(out), "older page");
  EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"caf\xE9.md", "\xE9t\xE9.html"}));
  result = quillory({"-o", dir.path() / "no/such/dir/p.html", doc});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.err.find("no/such/dir/p.html: No such file or directory"), std::string::npos);
}

TEST(CommandLine, UnreadableFileIsNamedWithTheReason) {
  TempDir dir;
  dir.write("sub/x.md", "x");
  for (auto [name, reason] : {std::pair{"notes.md", "No such file or directory"},
                              {"sub", "Is a directory"},
                              {"gone-caf\xE9.md", "No such file or directory"}}) {
    const std::string path = dir.path() / name;
    const auto result = quillory({path});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "quillory: " + path + ": " + reason + "\n");
  }
}

TEST(CommandLine, UsageHelpAndVersion) {
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{},
                                             {"a.md", "b.md"},
                                             {"--bogus", "a.md"},
                                             {"-o"},
                                             {"-o", "x.html", "-d", "out", "a.md"},
                                             {"--time-limit", "soon", "a.md"},
                                             {"--time-limit", "0", "a.md"},
                                             {"-d", "out"}}) {
    const auto result = quillory(arguments);
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("Usage: quillory [-o OUT] FILE"), std::string::npos) << result.err;
  }
  TempDir dir;
  EXPECT_EQ(quillory({"--time-limit", "2.5", dir.write("doc.md", "x")}).exitStatus, 0);
  const auto help = quillory({"--help"});
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_TRUE(help.out.starts_with("Usage: quillory [-o OUT] FILE\n"));
  EXPECT_NE(help.out.find("--output"), std::string::npos);
  const auto version = quillory({"--version"});
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_TRUE(version.out.starts_with("quillory " QUILLORY_VERSION "\n")) << version.out;
  EXPECT_NE(version.out.find("script engine cache: matches the loaded engine\n"),
            std::string::npos);
}

TEST(CommandLineBatch, RendersEveryFileListsTheFailuresAndNeverSharesAPage) {
  TempDir in, out;
  const auto one = in.write("one.md", "# One\n"), gone = in.path() / "gone.md";
  in.write("docs/guide.markdown", "# Guide\n");
  in.write("docs/deep/notes.MD", "# Notes\n");
  in.write("docs/picture.png", "not markdown");
  in.write("docs/caf\xE9.md", "# Caf\xC3\xA9\n");
  const auto pages = out.path() / "pages";
  auto result = quillory({"-d", pages, one, in.path() / "docs", gone});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "quillory: 1 of 5 files failed:\n  " + gone.string() + ": No such file or directory\n");
  EXPECT_TRUE(holds(pages / "one.html", "<h1>One</h1>"));
  EXPECT_TRUE(holds(pages / "guide.html", "<h1>Guide</h1>"));
  EXPECT_TRUE(holds(pages / "deep/notes.html", "<h1>Notes</h1>"));
  EXPECT_TRUE(holds(pages / "caf\xE9.html", "<h1>Caf\xC3\xA9</h1>"));
  EXPECT_FALSE(fs::exists(pages / "picture.html"));

  const auto a = in.write("a/readme.md", "A\n"), b = in.write("b/readme.md", "B\n");
  result = quillory({"-d", out.path(), a, one});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.err, "");
  result = quillory({"--output-dir", out.path(), a, b});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.err.find(b.string() + ": its page " + out.path().string() +
                            "/readme.html is already the page of " + a.string()),
            std::string::npos)
      << result.err;
  EXPECT_TRUE(holds(out.path() / "readme.html", "<p>A</p>"));
}

TEST(CommandLineBatch, DirectoriesThatCannotBeMadeAreNamedWithTheReason) {
  TempDir in, out;
  auto doc = in.write("doc.md", "# Doc\n");
  out.write("file", "not a directory");
  fs::create_symlink("nowhere", out.path() / "dangling");
  for (auto [name, reason] : {std::pair{"file", "Not a directory"},
                              {"file/sub", "Not a directory"},
                              {"dangling", "No such file or directory"},
                              {"dangling/sub", "No such file or directory"}}) {
    const std::string outputDirectory = out.path() / name;
    auto result = quillory({"-d", outputDirectory, doc});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err, "quillory: " + outputDirectory + ": " + reason + "\n");
  }

  // The directory of one page, below the output directory, fails that page alone.
  in.write("docs/deep/notes.md", "# Notes\n");
  in.write("docs/top.md", "# Top\n");
  auto pages = out.path() / "pages";
  out.write("pages/deep", "not a directory");
  auto result = quillory({"-d", pages, in.path() / "docs"});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err, "quillory: 1 of 2 files failed:\n  " +
                            (pages / "deep/notes.html").string() + ": Not a directory\n");
  EXPECT_TRUE(holds(pages / "top.html", "<h1>Top</h1>"));
}

TEST(CommandLineBatch, FilesInADirectoryThatLinkOutsideItAreSkippedAndListed) {
  TempDir in, out;
  in.write("docs/real.md", "# Real\n");
  in.write("secret/private.md", "# Private\n");
  const fs::path docs = in.path() / "docs";
  fs::create_symlink("real.md", docs / "alias.md");
  fs::create_symlink(docs / "real.md", docs / "absolute.md");
  fs::create_symlink("../secret/private.md", docs / "notes.md");
  fs::create_symlink(in.path() / "secret/private.md", docs / "away.md");
  fs::create_directory_symlink("../secret", docs / "linked");
  const auto result = quillory({"-d", out.path(), docs});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err, "quillory: 2 of 5 files failed:\n  " + (docs / "away.md").string() +
                            ": links outside " + docs.string() + "\n  " +
                            (docs / "notes.md").string() + ": links outside " + docs.string() +
                            "\n");
  EXPECT_EQ(namesIn(out.path()),
            (std::set<std::string>{"absolute.html", "alias.html", "real.html"}));
  // Named by itself, a file is the user's choice, wherever its link leads.
  EXPECT_EQ(quillory({"-d", out.path() / "named", docs / "notes.md"}).exitStatus, 0);
  EXPECT_TRUE(holds(out.path() / "named/notes.html", "<h1>Private</h1>"));
}

TEST(CommandLineFaults, OutputThatIsNoRegularFileIsWrittenInPlace) {
  TempDir dir;
  const auto doc = dir.write("doc.md", "# Hello\n");
  const fs::path fifo = dir.path() / "fifo", device = dir.path() / "null";
  const fs::path link = dir.path() / "link.html", target = dir.write("target.html", "older");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  fs::create_symlink(target, link);
  // A copy of /dev/null; making device files takes root, as CI has.
  const bool haveDevice = mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
  for (auto [out, typeAfter] : {std::pair{fifo, fs::file_type::fifo},
                                {device, fs::file_type::character},
                                {link, fs::file_type::regular}}) {  // the link itself is replaced
    SCOPED_TRACE(out.filename().string());
    if (out == device && !haveDevice) continue;
    // Open for reading first, so the page (smaller than a pipe holds) waits in the FIFO.
    const int reader = out == fifo ? open(fifo.c_str(), O_RDONLY | O_NONBLOCK) : -1;
    const auto result = quillory({"-o", out, doc});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(fs::symlink_status(out).type(), typeAfter);
    std::string page = out == link ? readWholeFile(out) : "";
    char buffer[65536];
    for (ssize_t n; reader >= 0 && (n = read(reader, buffer, sizeof buffer)) > 0;)
      page.append(buffer, n);
    if (reader >= 0) close(reader);
    EXPECT_TRUE(out == device || page.ends_with(kPageEnd)) << page.size() << " bytes";
  }
  EXPECT_EQ(readWholeFile(target), "older");
  std::set<std::string> names{"doc.md", "fifo", "link.html", "target.html"};
  if (haveDevice) names.insert("null");
  EXPECT_EQ(namesIn(dir.path()), names);  // no temporary file left beside any of them
}

TEST(CommandLineFaults, InterruptedWritesLeaveTheOlderPageOrTheWholeNewOne) {
  TempDir dir;
  // A page of tens of megabytes: four large images (sparse files, so they cost no disk).
  std::string markdown;
  for (int i = 0; i < 4; ++i) {
    const std::string name = "image" + std::to_string(i) + ".png";
    fs::resize_file(dir.write("doc/" + name, ""), 8'000'000);
    markdown += "![" + name + "](" + name + ")\n";
  }
  const auto doc = dir.write("doc/large.md", markdown);
  const fs::path out = dir.path() / "out/page.html";
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    dir.write("out/page.html", "older page");
    const int watch = inotify_init1(IN_CLOEXEC);
    inotify_add_watch(watch, out.parent_path().c_str(), IN_CREATE);
    const pid_t pid =
        testing_support::startProcess({testing_support::program("quillory"), "-o", out, doc});
    // Stop the program as soon as its temporary file exists beside the page, most likely
    // in the middle of writing it; then interrupt it.
    alignas(inotify_event) char event[4096];
    ASSERT_GT(read(watch, event, sizeof event), 0);
    close(watch);
    kill(pid, SIGSTOP);
    kill(pid, signal);
    kill(pid, SIGCONT);
    EXPECT_TRUE(
        std::string(reinterpret_cast<inotify_event*>(event)->name).starts_with("page.html."));
    const int status = testing_support::exitStatusOf(pid);
    // Whichever came first, the rename or the interrupt: no half page, no stray file.
    EXPECT_TRUE(status == 128 + signal || status == 0) << status;
    EXPECT_EQ(namesIn(out.parent_path()), std::set<std::string>{"page.html"});
    const std::string page = readWholeFile(out);
    EXPECT_TRUE(page == "older page" || page.ends_with(kPageEnd)) << page.size() << " bytes";
  }
}

TEST(CommandLineFaults, FileSizeLimitFailsTheWriteCleanly) {
  TempDir dir;
  const auto doc = dir.write("doc.md", std::string(100'000, 'x'));
  const auto out = dir.write("page.html", "older page");
  const auto result = testing_support::runProcess(
      {"/usr/bin/prlimit", "--fsize=4096", testing_support::program("quillory"), "-o", out, doc});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err, "quillory: " + out.string() + ": File too large\n");
  EXPECT_EQ(readWholeFile(out), "older page");
  EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"doc.md", "page.html"}));
}

TEST(CommandLineFaults, StandardOutputWhoseReaderHasGoneEndsQuietly) {
  TempDir dir;
  // Far more than a pipe holds, so the write meets the closed pipe.
  const auto doc = dir.write("doc.md", std::string(1'000'000, 'x'));
  const auto result = testing_support::runProcess(
      {"/bin/bash", "-c", "\"$0\" \"$1\" | head -c 10 >/dev/null; echo \"${PIPESTATUS[0]}\"",
       testing_support::program("quillory"), doc});
  EXPECT_EQ(result.out, "0\n");
  EXPECT_EQ(result.err, "");
}

}  // namespace
