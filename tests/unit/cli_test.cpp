// The quillory command as a user runs it: output, errors, exit statuses, batch mode, and
// faults: devices and FIFOs, interrupts, size limits, a reader gone, non-UTF-8 names.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "support/page.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ProcessResult;
using testing_support::readWholeFile;
using testing_support::TempDir;
using Files = std::map<std::string, std::string>;

const std::string kSpecial = "(no regular file)";

// A page as its body alone, any other text as it is.
std::string bodyOrText(const std::string& text) {
  static const std::string css = testing_support::realResource("preview.css");
  return testing_support::bodyOfPage(text, css).value_or(text);
}

ProcessResult quillory(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), testing_support::program("quillory"));
  auto result = testing_support::runProcess(arguments);
  result.out = bodyOrText(result.out);
  return result;
}

// Everything below `directory` but directories, by relative path: each regular file's text
// (a page's body alone), kSpecial for the rest.
Files filesIn(const fs::path& directory) {
  Files files;
  for (const auto& entry : fs::recursive_directory_iterator(directory)) {
    const fs::file_type type = entry.symlink_status().type();
    if (type == fs::file_type::directory) continue;
    files[fs::relative(entry.path(), directory)] =
        type == fs::file_type::regular ? bodyOrText(readWholeFile(entry.path())) : kSpecial;
  }
  return files;
}

// Pages go to standard output, in place of a regular file (or a link) whole, or into what is
// no regular file; no failed run leaves a half page or a temporary file behind.
TEST(CommandLine, WritesThePageToStandardOutputOrToTheOutputFile) {
  TempDir dir;
  // File names need not be UTF-8: "café" and "été" in Latin-1.
  const std::string doc = dir.write("caf\xE9.md", "# Hello\n"), out = dir.path() / "\xE9t\xE9.html";
  const fs::path fifo = dir.path() / "fifo", device = dir.path() / "null";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  fs::create_symlink(dir.write("target.html", "older"), dir.path() / "link.html");
  // A copy of /dev/null; making device files takes root, as CI has. Without it, "null" is a page.
  const bool haveDevice = mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
  // Open for reading first, so the page (smaller than a pipe holds) waits in the FIFO.
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  EXPECT_EQ(quillory({doc}), (ProcessResult{0, "<h1>Hello</h1>\n", ""}));
  for (const fs::path& to : {fs::path(out), fifo, device, dir.path() / "link.html"}) {
    EXPECT_EQ(quillory({"-o", to, doc}), (ProcessResult{0, "", ""})) << to;
  }
  std::string page(1 << 16, '\0');
  page.resize(std::max<ssize_t>(read(reader, page.data(), page.size()), 0));
  close(reader);
  EXPECT_EQ(bodyOrText(page), "<h1>Hello</h1>\n");
  // Neither a missing document nor the file size limit touches the page written before.
  EXPECT_EQ(quillory({"--output", out, dir.path() / "gone.md"}).exitStatus, 1);
  // The page with its style sheet is larger than the limit.
  EXPECT_EQ(testing_support::runProcess({"/usr/bin/prlimit", "--fsize=4096",
                                         testing_support::program("quillory"), "-o", out, doc}),
            (ProcessResult{1, "", "quillory: " + out + ": File too large\n"}));
  EXPECT_EQ(filesIn(dir.path()), (Files{{"caf\xE9.md", "# Hello\n"},
                                        {"fifo", kSpecial},
                                        {"link.html", "<h1>Hello</h1>\n"},  // the link replaced
                                        {"null", haveDevice ? kSpecial : "<h1>Hello</h1>\n"},
                                        {"target.html", "older"},
                                        {"\xE9t\xE9.html", "<h1>Hello</h1>\n"}}));
}

// "-" is standard input, read as a document in the working directory, however long it is.
TEST(CommandLine, StandardInputIsADocumentInTheWorkingDirectory) {
  TempDir dir;
  dir.write("dot.png", "\x89PNG\r\n\x1A\n");
  dir.write("doc.md", "# Hi ![d](dot.png)\n");
  const std::string page =
      "<h1>Hi <img src=\"data:image/png;base64,iVBORw0KGgo=\" alt=\"d\"></h1>\n";
  for (auto [command, expected] :
       {std::pair{"cd \"$1\" && \"$0\" - <doc.md", ProcessResult{0, page, ""}},
        {"cd \"$1\" && \"$0\" -o page.html - <doc.md && cat page.html", {0, page, ""}},
        {"\"$0\" - </dev/zero | grep -c 'preview truncated (large file)'", {0, "1\n", ""}},
        {"\"$0\" -o /dev/null - <\"$1\"", {1, "", "quillory: standard input: Is a directory\n"}},
        {"\"$0\" - <&-", {1, "", "quillory: standard input: Bad file descriptor\n"}}}) {
    auto result = testing_support::runProcess(
        {"/bin/sh", "-c", command, testing_support::program("quillory"), dir.path()});
    result.out = bodyOrText(result.out);
    EXPECT_EQ(result, expected) << command;
  }
}

TEST(CommandLine, WhatCannotBeReadOrWrittenIsNamedWithTheReason) {
  TempDir dir;
  const std::string doc = dir.write("in/sub/x.md", "# Doc\n");
  // From a removed working directory a relative name fails as it does for cat, never
  // read against "/".
  fs::create_directory(dir.path() / "gone");
  const std::string relative = fs::path(doc).relative_path();
  EXPECT_EQ(testing_support::runProcess(
                {"/bin/sh", "-c", "cd \"$1\" && rmdir \"$1\" && \"$0\" \"$2\"",
                 testing_support::program("quillory"), dir.path() / "gone", relative}),
            (ProcessResult{1, "", "quillory: " + relative + ": No such file or directory\n"}));
  dir.write("out/file", "not a directory");
  fs::create_symlink("nowhere", dir.path() / "out/dangling");
  for (auto [option, name, reason] : {std::tuple{"", "in/notes.md", "No such file or directory"},
                                      {"", "in/sub", "Is a directory"},
                                      {"", "in/gone-caf\xE9.md", "No such file or directory"},
                                      {"-o", "out/no/such/dir/p.html", "No such file or directory"},
                                      {"-d", "out/file", "Not a directory"},
                                      {"-d", "out/file/sub", "Not a directory"},
                                      {"-d", "out/dangling", "No such file or directory"},
                                      {"-d", "out/dangling/sub", "No such file or directory"}}) {
    const std::string path = dir.path() / name;
    const auto arguments =
        *option ? std::vector<std::string>{option, path, doc} : std::vector<std::string>{path};
    EXPECT_EQ(quillory(arguments),
              (ProcessResult{1, "", "quillory: " + path + ": " + reason + "\n"}));
  }
}

TEST(CommandLine, UsageHelpAndVersion) {
  const std::string usage =
      "Usage: quillory [--github] [-o OUT] FILE|-\n       quillory [--github] -d OUTDIR "
      "FILE|DIR...\n";
  for (const auto& [arguments, complaint] :
       std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{}, "no FILE given"},
           {{"a.md", "b.md"}, "only one FILE may be given without -d"},
           {{"--bogus", "a.md"}, "unknown option '--bogus'"},
           {{"-x.md"}, "unknown option '-x'"},
           {{"-o"}, "option '-o' needs a value"},
           {{"-o", "x.html", "-d", "out", "a.md"}, "-o and -d cannot be used together"},
           {{"--time-limit", "soon", "a.md"}, "--time-limit wants a number of seconds, not 'soon'"},
           {{"--time-limit", "0", "a.md"}, "--time-limit wants a number of seconds, not '0'"},
           {{"-d", "out"}, "no FILE given"},
           {{"-d", "out", "a.md", "-"}, "-d cannot read standard input ('-')"}}) {
    EXPECT_EQ(quillory(arguments),
              (ProcessResult{2, "",
                             "quillory: " + complaint + "\n" + usage +
                                 "Try 'quillory --help' for more information.\n"}));
  }
  TempDir dir;
  EXPECT_EQ(quillory({"--time-limit", "2.5", dir.write("doc.md", "x")}),
            (ProcessResult{0, "<p>x</p>\n", ""}));
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)  // their runtime comes first
  for (const std::string option : {"-o", "-d"}) {
    EXPECT_EQ(testing_support::runProcess(
                  {"/usr/bin/env", "LD_PRELOAD=" + testing_support::program("no_threads.so"),
                   testing_support::program("quillory"), option, dir.path() / "out",
                   dir.path() / "doc.md"}),
              (ProcessResult{
                  1, "", "quillory: cannot start a thread: Resource temporarily unavailable\n"}));
  }
#endif
  for (auto [option, start, line] : {std::tuple{"--help", usage, "--output"},
                                     {"--version", "quillory " QUILLORY_VERSION "\n",
                                      "script engine cache: matches the loaded engine\n"}}) {
    const auto result = quillory({option});
    EXPECT_TRUE(result.exitStatus == 0 && result.out.starts_with(start) &&
                result.out.find(line) != std::string::npos)
        << result;
    // As coreutils do, output that cannot be written fails.
    EXPECT_EQ(testing_support::runProcess({"/bin/sh", "-c", "\"$0\" \"$1\" >/dev/full",
                                           testing_support::program("quillory"), option}),
              (ProcessResult{1, "", "quillory: write error: No space left on device\n"}));
  }
}

// --github gives every page it makes, one or many, the extras; without it a page is marked's.
TEST(CommandLine, GithubExtrasOnRequestOnly) {
  TempDir dir;
  // Emoji names may share their colons.
  const std::string doc = dir.write("in/a.md", "# A b\n\n:nope:rocket:\n");
  const std::string extras =
      "<h1 id=\"a-b\"><a class=\"anchor\" href=\"#a-b\" aria-label=\"Link to this "
      "section\"></a>A b</h1>\n<p>:nope<span class=\"emoji\" role=\"img\" "
      "aria-label=\"rocket\">\U0001F680</span></p>\n";
  EXPECT_EQ(quillory({doc}), (ProcessResult{0, "<h1>A b</h1>\n<p>:nope:rocket:</p>\n", ""}));
  EXPECT_EQ(quillory({"--github", doc}), (ProcessResult{0, extras, ""}));
  EXPECT_EQ(quillory({"--github", "-d", dir.path() / "out", dir.path() / "in"}).exitStatus, 0);
  EXPECT_EQ(filesIn(dir.path() / "out"), (Files{{"a.html", extras}}));
}

TEST(CommandLineBatch, RendersEveryFileListsTheFailuresAndNeverSharesAPage) {
  TempDir dir;
  const std::string one = dir.write("in/one.md", "# One\n"), gone = dir.path() / "in/gone.md";
  const std::string another = dir.write("in/another/one.md", "# Another\n");
  dir.write("in/docs/guide.markdown", "# Guide\n");
  dir.write("in/docs/deep/notes.MD", "# Notes\n");
  dir.write("in/docs/blocked/x.md", "# X\n");
  dir.write("in/docs/picture.png", "not markdown");
  dir.write("in/docs/caf\xE9.md", "# Caf\xC3\xA9\n");
  // The directory of one page, below the output directory, fails that page alone.
  const std::string pages = dir.write("pages/blocked", "not a directory").parent_path();
  EXPECT_EQ(quillory({"-d", pages, one, dir.path() / "in/docs", gone, another}),
            (ProcessResult{1, "",
                           "quillory: 3 of 7 files failed:\n  " + another + ": its page " + pages +
                               "/one.html is already the page of " + one + "\n  " + gone +
                               ": No such file or directory\n  " + pages +
                               "/blocked/x.html: Not a directory\n"}));
  EXPECT_EQ(filesIn(pages), (Files{{"blocked", "not a directory"},
                                   {"caf\xE9.html", "<h1>Caf\xC3\xA9</h1>\n"},
                                   {"deep/notes.html", "<h1>Notes</h1>\n"},
                                   {"guide.html", "<h1>Guide</h1>\n"},
                                   {"one.html", "<h1>One</h1>\n"}}));
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
  // Below a path longer than PATH_MAX a file's real path cannot be found, and it says why.
  std::string deep = "deep";
  int at = open(docs.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int level = 0; level < 20; ++level, deep += "/" + std::string(250, 'd')) {
    ASSERT_EQ(mkdirat(at, std::string(250, 'd').c_str(), 0700), 0);
    const int below = openat(at, std::string(250, 'd').c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    close(at);
    at = below;
  }
  ASSERT_EQ(close(openat(at, "x.md", O_WRONLY | O_CREAT | O_CLOEXEC, 0600)) + close(at), 0);
  deep = deep.substr(5) + "/x.md";
  EXPECT_EQ(
      quillory({"-d", out.path(), docs}),
      (ProcessResult{1, "",
                     "quillory: 3 of 6 files failed:\n  " + (docs / "away.md").string() +
                         ": links outside " + docs.string() + "\n  " + (docs / deep).string() +
                         ": File name too long\n  " + (docs / "notes.md").string() +
                         ": links outside " + docs.string() + "\n"}));
  EXPECT_EQ(filesIn(out.path()), (Files{{"absolute.html", "<h1>Real</h1>\n"},
                                        {"alias.html", "<h1>Real</h1>\n"},
                                        {"real.html", "<h1>Real</h1>\n"}}));
  // Named by itself, a file is the user's choice, wherever its link leads.
  EXPECT_EQ(quillory({"-d", out.path() / "named", docs / "notes.md"}), (ProcessResult{0, "", ""}));
  EXPECT_EQ(bodyOrText(readWholeFile(out.path() / "named/notes.html")), "<h1>Private</h1>\n");
}

TEST(CommandLineFaults, InterruptedWritesLeaveTheOlderPageOrTheWholeNewOne) {
  TempDir dir;
  // A page of tens of megabytes: a large image (a sparse file, so it costs no disk) four times.
  fs::resize_file(dir.write("doc/image.png", ""), 8'000'000);
  const auto doc = dir.write("doc/large.md",
                             "![a](image.png) ![b](image.png) ![c](image.png) ![d](image.png)\n");
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
    pollfd created{watch, POLLIN, 0};
    ASSERT_TRUE(poll(&created, 1, 60'000) == 1 && read(watch, event, sizeof event) > 0);
    close(watch);
    kill(pid, SIGSTOP);
    kill(pid, signal);
    kill(pid, SIGCONT);
    EXPECT_TRUE(
        std::string(reinterpret_cast<inotify_event*>(event)->name).starts_with("page.html."));
    const int status = testing_support::exitStatusOf(pid);
    // Whichever came first, the rename or the interrupt: no half page, no stray file.
    EXPECT_TRUE(status == 128 + signal || status == 0) << status;
    const Files files = filesIn(out.parent_path());
    const std::string page = files.size() == 1 ? readWholeFile(out) : "(stray files)";
    EXPECT_TRUE(page == "older page" || bodyOrText(page) != page) << page.size() << " bytes";
  }
}

TEST(CommandLineFaults, StandardOutputWhoseReaderHasGoneEndsQuietly) {
  TempDir dir;
  // Far more than a pipe holds, so the write meets the closed pipe.
  const auto doc = dir.write("doc.md", std::string(1'000'000, 'x'));
  EXPECT_EQ(
      testing_support::runProcess(
          {"/bin/bash", "-c", "\"$0\" \"$1\" | head -c 10 >/dev/null; echo \"${PIPESTATUS[0]}\"",
           testing_support::program("quillory"), doc}),
      (ProcessResult{0, "0\n", ""}));
}

TEST(CommandLineFaults, OutputNamedByAnOpenDescriptorGoesToThatDescriptor) {
  TempDir dir;
  const auto doc = dir.write("doc.md", "# Hello\n"), page = dir.path() / "page.html";
  // Standard output a regular file: the name is no file to replace. (/dev/stdout takes the
  // same way; it is left out here, since a fault would rename over the machine's own link.)
  for (const char* out : {"/dev/fd/1", "/proc/self/fd/1"}) {
    EXPECT_EQ(testing_support::runProcess({"/bin/bash", "-c", "\"$0\" -o \"$1\" \"$2\" >\"$3\"",
                                           testing_support::program("quillory"), out, doc, page}),
              (ProcessResult{0, "", ""}));
    EXPECT_EQ(bodyOrText(readWholeFile(page)), "<h1>Hello</h1>\n") << out;
  }
}

}  // namespace
