// A program that answers its caller early and carries on in the background: the caller
// waits on a pipe for one byte, the status, while the child lives on after writing it.
#include "platform/background.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform {
namespace {

int waitForExit(pid_t child) {
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return 1;
  }
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

}  // namespace

int runInBackground(const std::function<int(int statusPipe)>& program) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return program(-1);
  const pid_t child = fork();
  if (child < 0) {
    close(ends[0]);
    close(ends[1]);
    return program(-1);
  }
  if (child == 0) {
    close(ends[0]);
    setsid();
    const int status = program(ends[1]);
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(status);
  }
  close(ends[1]);
  unsigned char byte = 0;
  ssize_t got;
  while ((got = read(ends[0], &byte, 1)) < 0 && errno == EINTR) {
  }
  close(ends[0]);
  return got == 1 ? byte : waitForExit(child);
}

// The caller's terminal and pipes are let go before the status is written, so a caller
// that reads our output to its end is not kept waiting.
void reportStatus(int& statusPipe, int status) {
  if (statusPipe < 0) return;
  std::fflush(stdout);
  std::fflush(stderr);
  int null = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null >= 0) {
    for (int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) dup2(null, stream);
    close(null);
  }
  const unsigned char byte = static_cast<unsigned char>(status);
  while (write(statusPipe, &byte, 1) < 0 && errno == EINTR) {
  }
  close(statusPipe);
  statusPipe = -1;
}

}  // namespace platform
