// Confines itself as `quillory DOCUMENT` does, then plays a fault that tries to reach
// beyond: it names on standard error what it tried and whether the kernel let it, and
// writes the page of DOCUMENT to standard output.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "cli/confinement.h"
#include "platform/output.h"
#include "preview/page_request.h"

namespace {

// `attempt` returns a result that is negative on failure, with errno set.
void report(const std::string& what, const std::function<long()> attempt) {
  const long result = attempt();
  const bool denied = result < 0 && (errno == EACCES || errno == EPERM);
  std::fprintf(stderr, "%s: %s\n", what.c_str(),
               denied ? "denied" : result >= 0 ? "allowed" : std::strerror(errno));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fputs("usage: confinement_probe DOCUMENT PORT FILE...\n", stderr);
    return 2;
  }
  const std::string document = argv[1];
  sockaddr_in listener{};
  listener.sin_family = AF_INET;
  listener.sin_port = htons(static_cast<uint16_t>(std::stoi(argv[2])));
  listener.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  // Made before, so that connecting meets Landlock rather than the filter on socket().
  const int early = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  cli::confineTo({document}, "", false);

  const auto* address = reinterpret_cast<const sockaddr*>(&listener);
  report("connect", [&] { return connect(early, address, sizeof listener); });
  report("socket", [] { return socket(AF_INET, SOCK_STREAM, 0); });
  report("execve", [] {
    char* const arguments[] = {const_cast<char*>("/bin/true"), nullptr};
    return execve(arguments[0], arguments, environ);
  });
  report("process_vm_readv", [] {
    char byte;
    iovec local{&byte, 1}, remote{&byte, 1};
    return process_vm_readv(getppid(), &local, 1, &remote, 1, 0);
  });
  for (int i = 3; i < argc; ++i) {
    const std::string file = argv[i], beside = file + ".new";
    report("read " + file, [&] { return open(file.c_str(), O_RDONLY); });
    report("write " + beside, [&] { return open(beside.c_str(), O_WRONLY | O_CREAT, 0600); });
  }

  const quillory::PageOutcome outcome =
      quillory::pageFor(platform::FileURL::fileURLWithPath(document));
  if (!outcome.reply) {
    std::fprintf(stderr, "%s: %s\n", document.c_str(), outcome.failure.c_str());
    return 1;
  }
  platform::writeStandardOutput(*outcome.reply->data);
  return 0;
}
