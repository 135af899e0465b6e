// A child process that does part of this one's work and hands back what it writes.
#include "platform/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "platform/files.h"
#include "platform/process.h"

namespace platform {

ChildOutput outputOfChild(const std::function<int()>& work, size_t limit) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    throw std::system_error(errno, std::generic_category(), "cannot start a process");
  }
  const pid_t parent = getpid();
  const pid_t child = fork();
  if (child < 0) {
    const int error = errno;
    close(ends[0]);
    close(ends[1]);
    throw std::system_error(error, std::generic_category(), "cannot start a process");
  }
  if (child == 0) {
    endWithParent();
    if (getppid() != parent) _exit(1);  // the parent ended before it could be watched
    // Either end may already be descriptor 1 when this process had no standard output.
    if (ends[0] != STDOUT_FILENO) close(ends[0]);
    if (ends[1] != STDOUT_FILENO) {
      dup2(ends[1], STDOUT_FILENO);
      close(ends[1]);
    }
    // An exception must not leave `work` for the caller's code: it ends the child, as one
    // that leaves main would end a program.
    const int status = [&]() noexcept { return work(); }();
    std::fflush(stdout);
    std::exit(status);
  }
  close(ends[1]);
  ChildOutput output;
  const int error = FileDescriptor(ends[0]).readUpTo(output.bytes, limit + 1);
  output.overran = output.bytes.size() > limit;
  if (error != 0 || output.overran) kill(child, SIGKILL);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (error != 0) {
    throw std::system_error(error, std::generic_category(),
                            "cannot read what a child process wrote");
  }
  if (output.overran) output.bytes.resize(limit);
  output.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 0;
  output.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return output;
}

}  // namespace platform
