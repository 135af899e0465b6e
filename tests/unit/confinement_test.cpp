// The command line confined: a fault in it reads nothing but the document's directory and
// the resources, writes nothing, connects nowhere and runs nothing, and the page is the same.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/confinement.h"
#include "support/page.h"
#include "support/process.h"

namespace {

using testing_support::TempDir;

TEST(Confinement, AFaultReachesOnlyTheDocumentAndThePageStaysTheSame) {
  const platform::Protections available = platform::availableProtections();
  if (!available.files || !available.tcp || !available.seccomp) {
    GTEST_SKIP() << "this kernel confines too little to check: "
                 << platform::describeProtections(available);
  }
  TempDir dir, sibling;
  const std::string document = dir.write("doc.md", "# Sum\n\n$$\\sum_i x_i$$\n\n![dot](dot.png)\n");
  dir.write("dot.png", "\x89PNG\r\n\x1A\n");
  const std::string secret = sibling.write("secret", "not for the page");

  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);

  const auto probed =
      testing_support::runProcess({testing_support::program("confinement_probe"), document,
                                   std::to_string(ntohs(address.sin_port)), document, secret,
                                   "/etc/passwd"});
  EXPECT_EQ(accept(listener, nullptr, nullptr), -1);
  close(listener);
  EXPECT_EQ(probed.exitStatus, 0);
  EXPECT_EQ(probed.err, "connect: denied\nsocket: denied\nexecve: denied\n"
                        "process_vm_readv: denied\n"
                        "read " + document + ": allowed\nwrite " + document + ".new: denied\n"
                        "read " + secret + ": denied\nwrite " + secret + ".new: denied\n"
                        "read /etc/passwd: denied\nwrite /etc/passwd.new: denied\n");

  const auto unconfined = testing_support::runProcess({testing_support::program("quillory"), document});
  const std::string css = testing_support::realResource("preview.css");
  const auto body = testing_support::bodyOfPage(probed.out, css);
  ASSERT_TRUE(body.has_value()) << probed.out.substr(0, 400);
  EXPECT_NE(body->find("<math"), std::string::npos);
  EXPECT_NE(body->find("src=\"data:image/png;base64,"), std::string::npos);
  EXPECT_EQ(body, testing_support::bodyOfPage(unconfined.out, css));
}

// The command line confines itself before it reads its document, for one page and in
// batch mode alike: seen from outside while it waits for a document that is a FIFO.
TEST(Confinement, TheCommandLineIsConfinedBeforeItReadsTheDocument) {
  if (!platform::availableProtections().seccomp) GTEST_SKIP() << "no seccomp in this kernel";
  TempDir dir;
  const std::string fifo = dir.path() / "doc.md", out = dir.path() / "out";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"-o", out + ".html", fifo}, {"-d", out, fifo}}) {
    std::vector<std::string> command{testing_support::program("quillory")};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const pid_t pid = testing_support::startProcess(command);
    const int writer = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);  // once the reader is there
    const std::string status = testing_support::readWholeFile("/proc/" + std::to_string(pid) + "/status");
    EXPECT_EQ(write(writer, "# Doc\n", 6), 6);
    close(writer);
    EXPECT_EQ(testing_support::exitStatusOf(pid), 0) << arguments[0];
    EXPECT_NE(status.find("\nNoNewPrivs:\t1\nSeccomp:\t2\n"), std::string::npos) << status;
  }
}

}  // namespace
