// Confines itself as `quillory DOCUMENT` does, then tries what a fault might: each attempt
// and the kernel's answer go to standard error, then the page of DOCUMENT to standard output.
// With --warm (not --cold) it confines as a warm conversion helper does, its workers already
// running, and tries the files on one of them too; like the helper, it ends with status 3
// when a thread could not be confined.
#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <future>
#include <string>

#include "platform/output.h"
#include "preview/confinement.h"
#include "preview/page_request.h"
#include "preview/preview_provider.h"

namespace {

void report(const char* what, const char* subject, long result) {
  const bool denied = result < 0 && (errno == EACCES || errno == EPERM);
  std::fprintf(stderr, "%s%s: %s\n", what, subject,
               denied        ? "denied"
               : result >= 0 ? "allowed"
                             : std::strerror(errno));
}

void tryFiles(int count, char** files) {
  for (int i = 0; i < count; ++i) {
    const std::string beside = std::string(files[i]) + ".new";
    report("read ", files[i], open(files[i], O_RDONLY));
    report("write ", beside.c_str(), open(beside.c_str(), O_WRONLY | O_CREAT, 0600));
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool warm = argc > 1 && std::string(argv[1]) == "--warm";
  --argc;
  ++argv;
  // Both made before confining, so that connecting meets Landlock, not the filter on socket().
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0),
            early = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  socklen_t length = sizeof address;
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  auto* loopback = reinterpret_cast<sockaddr*>(&address);
  if (argc < 2 || bind(listener, loopback, length) | listen(listener, 1) |
                      getsockname(listener, loopback, &length)) {
    return 2;  // usage: confinement_probe --cold|--warm DOCUMENT [FILE...]
  }
  if (warm) {
    quillory::PreviewProvider().warmUp();
    if (!platform::confineProcess(quillory::readingDocuments({argv[1]})).files &&
        platform::availableProtections().files) {
      return 3;
    }
  } else {
    quillory::confineTo({argv[1]}, "", false);
  }

  report("connect", "", connect(early, loopback, length));
  report("socket", "", socket(AF_INET, SOCK_STREAM, 0));
  char* const command[] = {const_cast<char*>("/bin/true"), nullptr};
  report("execve", "", execve(command[0], command, environ));
  char byte = 0;
  iovec local{&byte, 1}, remote{&byte, 1};
  report("process_vm_readv", "", process_vm_readv(getppid(), &local, 1, &remote, 1, 0));
  tryFiles(argc - 1, argv + 1);
  // Metadata, which Landlock leaves alone, of the document it may read, by name and by
  // descriptor (glibc's chmod makes the chmod system call, never fchmodat).
  const int document = open(argv[1], O_RDONLY | O_CLOEXEC);
  report("chmod ", argv[1], chmod(argv[1], 0600));
  report("fchmodat ", argv[1], syscall(SYS_fchmodat, AT_FDCWD, argv[1], 0600));
  report("fchmod ", argv[1], fchmod(document, 0600));
  report("chown ", argv[1], chown(argv[1], getuid(), getgid()));
  report("fchown ", argv[1], fchown(document, getuid(), getgid()));
  report("utimensat ", argv[1], utimensat(AT_FDCWD, argv[1], nullptr, 0));
  report("setxattr ", argv[1], setxattr(argv[1], "user.probe", "x", 1, 0));
  report("fsetxattr ", argv[1], fsetxattr(document, "user.probe", "x", 1, 0));
  if (warm) {
    std::promise<void> tried;
    platform::Executor::global().enqueue([&] {
      tryFiles(argc - 1, argv + 1);
      tried.set_value();
    });
    tried.get_future().wait();
  }
  const auto outcome = quillory::pageFor(platform::FileURL::fileURLWithPath(argv[1]));
  const auto* reply = std::get_if<platform::PreviewReply>(&outcome);
  if (!reply) return 1;
  platform::writeStandardOutput(*reply->data);
  // A leak checker at exit would stop every thread with ptrace, which Landlock refuses
  // between the sibling domains that the threads running took one by one.
  if (warm) _exit(0);
  return 0;
}
