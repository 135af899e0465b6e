// A program that answers its caller early and carries on in the background: the caller
// reads a pipe to its end, where the status byte comes last, while the child lives on.
#include "platform/background.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <string>

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
  std::string report;
  char buffer[4096];
  for (ssize_t got; (got = read(ends[0], buffer, sizeof buffer)) != 0;) {
    if (got > 0) {
      report.append(buffer, static_cast<size_t>(got));
    } else if (errno != EINTR) {
      break;
    }
  }
  close(ends[0]);
  if (report.empty()) return waitForExit(child);
  std::fwrite(report.data(), 1, report.size() - 1, stderr);
  return static_cast<unsigned char>(report.back());
}

void detachFromCaller(int statusPipe) {
  std::fflush(stdout);
  std::fflush(stderr);
  int null = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null >= 0) {
    for (int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) dup2(null, stream);
    close(null);
  }
  if (statusPipe >= 0) fcntl(statusPipe, F_SETFD, FD_CLOEXEC);
}

// The message and then the status byte, in one write (shorter than a pipe's atomic size).
void reportStatus(int& statusPipe, int status, const std::string& message) {
  if (statusPipe < 0) return;
  std::string report = message.substr(0, PIPE_BUF - 1);
  report.push_back(static_cast<char>(status));
  while (write(statusPipe, report.data(), report.size()) < 0 && errno == EINTR) {
  }
  close(statusPipe);
  statusPipe = -1;
}

}  // namespace platform
