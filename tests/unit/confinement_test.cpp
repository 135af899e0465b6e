// The command line confined: a fault in it reads nothing but the document's directory and
// the resources, writes nothing, changes no file's metadata, connects nowhere and runs
// nothing, and the page is the same.
#include "platform/confinement.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/page.h"
#include "support/process.h"

namespace {

using testing_support::program;

TEST(Confinement, AFaultReachesOnlyTheDocumentAndThePageStaysTheSame) {
  const platform::Protections kernel = platform::availableProtections();
  if (!kernel.tcp || !kernel.seccomp) GTEST_SKIP() << platform::describeProtections(kernel);
  testing_support::TempDir dir;
  const std::string doc = dir.write("doc.md", "$$\\sum_i x_i$$\n\n![dot](dot.png)\n");
  dir.write("dot.png", "\x89PNG\r\n\x1A\n");
  const std::string css = testing_support::realResource("preview.css");
  const auto page = testing_support::runProcess({program("quillory"), doc}).out;
  const std::string files = "read " + doc + ": allowed\nwrite " + doc + ".new: denied\n" +
                            "read /etc/passwd: denied\nwrite /etc/passwd.new: denied\n";
  // Warm, a worker thread started before the confinement tries the files as well.
  for (const std::string mode : {"--cold", "--warm"}) {
    const auto probed =
        testing_support::runProcess({program("confinement_probe"), mode, doc, "/etc/passwd"});
#if defined(__SANITIZE_THREAD__)
    // ThreadSanitizer's own thread blocks every signal: it cannot be confined, so the probe,
    // as a warm helper would, goes no further.
    if (mode == "--warm") {
      EXPECT_EQ(probed.exitStatus, 3) << probed;
      continue;
    }
#endif
    std::string metadata;
    for (const char* call :
         {"chmod", "fchmodat", "fchmod", "chown", "fchown", "utimensat", "setxattr", "fsetxattr"})
      metadata += call + (" " + doc + ": denied\n");
    EXPECT_EQ(probed.err,
              "connect: denied\nsocket: denied\nexecve: denied\n"
              "process_vm_readv: denied\n" +
                  files + metadata + (mode == "--warm" ? files : ""));
    const auto body = testing_support::bodyOfPage(probed.out, css);
    EXPECT_TRUE(body && body->find("<math") != body->npos &&
                body->find("base64,iVBOR") != body->npos);
    EXPECT_EQ(body, testing_support::bodyOfPage(page, css)) << mode;
  }
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)  // their runtime comes first
// Writing a page to a file, a fault in the conversion still changes, makes and removes nothing:
// neither beside the page nor below its directory, nor in the document's own directory.
TEST(Confinement, AFaultWritingAPageToAFileTouchesNoOtherFile) {
  if (!platform::availableProtections().files) GTEST_SKIP() << "no Landlock in this kernel";
  testing_support::TempDir dir;
  const std::string root = dir.path(), doc = dir.write("doc/doc.md", "# Doc\n");
  dir.write("site/old.html", "old");
  dir.write("site/sub/old.html", "old");
  std::string tries, answers;
  for (const std::string step :
       {"append site/old.html", "append site/sub/old.html", "create site/new.html",
        "create site/sub/new.html", "remove site/sub/old.html", "append doc/doc.md",
        "create doc/new.html", "remove doc/doc.md"}) {
    tries += step.substr(0, 7) + root + "/" + step.substr(7) + "\n";
    answers += step.substr(0, 7) + root + "/" + step.substr(7) + ": denied\n";
  }
  for (const std::string& page : {root + "/site/page.html", root + "/doc/page.html"}) {
    EXPECT_EQ(
        testing_support::runProcess({"/usr/bin/env", "LD_PRELOAD=" + program("fault_on_open.so"),
                                     "FAULT_DOCUMENT=" + doc, "FAULT_TRIES=" + tries,
                                     program("quillory"), "-o", page, doc}),
        (testing_support::ProcessResult{0, "", answers}));
    EXPECT_NE(testing_support::readWholeFile(page).find("<h1>Doc</h1>"), std::string::npos);
  }
}
#endif

// Seen from outside while it waits for a document that is a FIFO, for one page and a batch.
TEST(Confinement, TheCommandLineIsConfinedBeforeItReadsTheDocument) {
  if (!platform::availableProtections().seccomp) GTEST_SKIP() << "no seccomp in this kernel";
  testing_support::TempDir dir;
  const std::string fifo = dir.path() / "doc.md", out = dir.path() / "out";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string option : {"-o", "-d"}) {
    const pid_t pid =
        testing_support::startProcess({program("quillory"), option, out + option, fifo});
    const int writer = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);  // once it reads
    const auto status = testing_support::readWholeFile("/proc/" + std::to_string(pid) + "/status");
    EXPECT_EQ(write(writer, "# Doc\n", 6) + close(writer), 6);
    EXPECT_EQ(testing_support::exitStatusOf(pid), 0) << option;
    EXPECT_NE(status.find("\nNoNewPrivs:\t1\nSeccomp:\t2\n"), status.npos) << status;
  }
}

}  // namespace
