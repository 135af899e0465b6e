// The quillory command under faults: a page written through a temporary file beside its
// destination, a device or FIFO written in place, interrupted and size-limited writes
// that leave nothing half-done behind, a standard output whose reader has gone, and file
// names that are not UTF-8.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/bundle_sandbox.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using testing_support::readWholeFile;
using testing_support::runProcess;
using testing_support::TempDir;

std::string quillory() { return (testing_support::buildDirectory() / "quillory").string(); }

std::set<std::string> namesIn(const fs::path& directory) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// Starts `argv` with its output going nowhere; the caller waits for it.
pid_t start(const std::vector<std::string>& argv) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  int failed = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return failed == 0 ? pid : -1;
}

int exitStatusOf(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Changes in one directory, as inotify reports them: each is a kind and a file name.
class DirectoryWatch {
 public:
  explicit DirectoryWatch(const fs::path& directory) : fd_(inotify_init1(IN_CLOEXEC)) {
    inotify_add_watch(fd_, directory.c_str(), IN_CREATE | IN_MOVED_FROM | IN_MOVED_TO);
  }
  ~DirectoryWatch() { close(fd_); }

  struct Change {
    uint32_t kind;
    std::string name;
  };
  // The next change; nothing after a minute without one (a hang guard).
  std::optional<Change> next() {
    if (pending_.empty()) {
      pollfd ready{fd_, POLLIN, 0};
      if (poll(&ready, 1, 60'000) != 1) return std::nullopt;
      alignas(inotify_event) char buffer[8192];
      ssize_t length = read(fd_, buffer, sizeof buffer);
      for (ssize_t at = 0; at < length;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        pending_.push_back({event->mask, event->len > 0 ? event->name : ""});
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    if (pending_.empty()) return std::nullopt;
    Change change = pending_.front();
    pending_.erase(pending_.begin());
    return change;
  }

 private:
  int fd_;
  std::vector<Change> pending_;
};

// A document whose page is tens of megabytes: four large images beside it (sparse files,
// so they cost no disk).
fs::path documentWithALargePage(const TempDir& dir) {
  std::string markdown;
  for (int i = 0; i < 4; ++i) {
    const std::string name = "image" + std::to_string(i) + ".png";
    dir.write("doc/" + name, "");
    fs::resize_file(dir.path() / "doc" / name, 8'000'000);
    markdown += "![" + name + "](" + name + ")\n";
  }
  return dir.write("doc/large.md", markdown);
}

TEST(CommandLineFaults, PageIsWrittenBesideItsDestinationThenRenamed) {
  TempDir dir;
  auto doc = dir.write("doc.md", "# Hello\n");
  fs::create_directory(dir.path() / "out");
  DirectoryWatch watch(dir.path() / "out");
  auto result = runProcess({quillory(), "-o", (dir.path() / "out/page.html").string(), doc});
  ASSERT_EQ(result.exitStatus, 0) << result.err;

  auto created = watch.next();
  ASSERT_TRUE(created && created->kind == IN_CREATE);
  EXPECT_TRUE(created->name.starts_with("page.html.")) << created->name;
  auto movedFrom = watch.next();
  auto movedTo = watch.next();
  ASSERT_TRUE(movedFrom && movedTo);
  EXPECT_EQ(movedFrom->kind, IN_MOVED_FROM);
  EXPECT_EQ(movedFrom->name, created->name);
  EXPECT_EQ(movedTo->kind, IN_MOVED_TO);
  EXPECT_EQ(movedTo->name, "page.html");
  EXPECT_EQ(namesIn(dir.path() / "out"), std::set<std::string>{"page.html"});
}

const std::string wholePageEnd = "Rendered by Quillory</div>\n</body>\n</html>";

TEST(CommandLineFaults, OutputThatIsNoRegularFileIsWrittenInPlace) {
  TempDir dir;
  auto doc = dir.write("doc.md", "# Hello\n");
  const fs::path fifo = dir.path() / "fifo", device = dir.path() / "null";
  const fs::path link = dir.path() / "link.html", target = dir.write("target.html", "older");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  fs::create_symlink(target, link);
  // A copy of /dev/null; making device files takes root, as CI has.
  const bool haveDevice = mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;

  const struct {
    fs::path out;
    fs::file_type typeAfter;
  } cases[] = {{fifo, fs::file_type::fifo},
               {device, fs::file_type::character},
               {link, fs::file_type::regular}};  // the link itself is replaced, as before
  for (const auto& [out, typeAfter] : cases) {
    SCOPED_TRACE(out.filename().string());
    if (out == device && !haveDevice) continue;
    // Open for reading first, so the page (smaller than a pipe holds) waits in the FIFO.
    const int reader = out == fifo ? open(fifo.c_str(), O_RDONLY | O_NONBLOCK) : -1;
    auto result = runProcess({quillory(), "-o", out.string(), doc.string()});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(fs::symlink_status(out).type(), typeAfter);
    std::string page = out == link ? readWholeFile(out) : "";
    if (reader >= 0) {
      char buffer[65536];
      for (ssize_t n; (n = read(reader, buffer, sizeof buffer)) > 0;) page.append(buffer, n);
      close(reader);
    }
    EXPECT_TRUE(out == device || page.ends_with(wholePageEnd)) << page.size() << " bytes";
  }
  EXPECT_EQ(readWholeFile(target), "older");
  std::set<std::string> names{"doc.md", "fifo", "link.html", "target.html"};
  if (haveDevice) names.insert("null");
  EXPECT_EQ(namesIn(dir.path()), names);  // no temporary file left beside any of them
}

TEST(CommandLineFaults, InterruptedWritesLeaveTheOlderPageOrTheWholeNewOne) {
  TempDir dir;
  const fs::path doc = documentWithALargePage(dir);
  const fs::path out = dir.path() / "out/page.html";

  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    dir.write("out/page.html", "older page");
    DirectoryWatch watch(dir.path() / "out");
    pid_t pid = start({quillory(), "-o", out.string(), doc.string()});
    ASSERT_GT(pid, 0);
    // Stop the program as soon as its temporary file exists, most likely in the middle
    // of writing it; then interrupt it.
    auto created = watch.next();
    ASSERT_TRUE(created.has_value()) << "no temporary file was made";
    kill(pid, SIGSTOP);
    kill(pid, signal);
    kill(pid, SIGCONT);
    const int status = exitStatusOf(pid);

    // Whichever came first, the rename or the interrupt: no half page, no stray file.
    EXPECT_TRUE(status == 128 + signal || status == 0) << status;
    EXPECT_EQ(namesIn(dir.path() / "out"), std::set<std::string>{"page.html"});
    const std::string page = readWholeFile(out);
    EXPECT_TRUE(page == "older page" || page.ends_with(wholePageEnd)) << page.size() << " bytes";
  }
}

TEST(CommandLineFaults, FileSizeLimitFailsTheWriteCleanly) {
  TempDir dir;
  auto doc = dir.write("doc.md", std::string(100'000, 'x'));
  auto out = dir.write("page.html", "older page");
  auto result = runProcess({"/usr/bin/prlimit", "--fsize=4096", quillory(), "-o", out, doc});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err, "quillory: " + out.string() + ": File too large\n");
  EXPECT_EQ(readWholeFile(out), "older page");
  EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"doc.md", "page.html"}));
}

TEST(CommandLineFaults, StandardOutputWhoseReaderHasGoneEndsQuietly) {
  TempDir dir;
  // Far more than a pipe holds, so the write meets the closed pipe.
  auto doc = dir.write("doc.md", std::string(1'000'000, 'x'));
  auto result = runProcess({"/bin/bash", "-c",
                            "\"$0\" \"$1\" | head -c 10 >/dev/null; echo \"${PIPESTATUS[0]}\"",
                            quillory(), doc.string()});
  EXPECT_EQ(result.out, "0\n");
  EXPECT_EQ(result.err, "");
}

TEST(CommandLineFaults, FileNamesNeedNotBeUTF8) {
  TempDir dir;
  const std::string latin1Name = "caf\xE9";  // "café" in Latin-1: not UTF-8
  auto doc = dir.write(latin1Name + ".md", "# Caf\xC3\xA9\n");
  const fs::path out = dir.path() / ("\xE9t\xE9-" + latin1Name + ".html");

  auto result = runProcess({quillory(), "-o", out.string(), doc.string()});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_NE(readWholeFile(out).find("<h1>Caf\xC3\xA9</h1>"), std::string::npos);

  result = runProcess({quillory(), "-d", (dir.path() / "pages").string(), doc.string()});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_NE(readWholeFile(dir.path() / "pages" / (latin1Name + ".html")).find("<h1>"),
            std::string::npos);

  const std::string missing = (dir.path() / ("gone-" + latin1Name + ".md")).string();
  result = runProcess({quillory(), missing});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err, "quillory: " + missing + ": No such file or directory\n");
}

}  // namespace
