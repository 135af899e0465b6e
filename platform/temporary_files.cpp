// Temporary files that are removed when the process is interrupted.
#include "platform/temporary_files.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <set>
#include <thread>

namespace platform {
namespace {

// Creating, renaming and removing a registered file all happen under this lock, and the
// interrupt holds it until the process has ended: no file is created or renamed into
// place once the interrupt has begun its removals.
std::mutex registryMutex;

// Never destroyed, so that an interrupt during the process's exit still finds it.
std::set<std::string>& registered() {
  static auto* files = new std::set<std::string>();
  return *files;
}

sigset_t interruptSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, signal);
  return signals;
}

[[noreturn]] void removeFilesWhenInterrupted(sigset_t signals) {
  int signal = 0;
  while (sigwait(&signals, &signal) != 0) {
  }
  registryMutex.lock();  // kept until the end
  for (const std::string& file : registered()) unlink(file.c_str());
  // End the way the signal would have ended the process, so that the caller sees it.
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  sigaction(signal, &defaultAction, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  raise(signal);
  _exit(128 + signal);
}

}  // namespace

void removeTemporaryFilesOnInterrupt() {
  const sigset_t signals = interruptSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread(removeFilesWhenInterrupted, signals).detach();
}

int createTemporaryFile(std::string& pattern) {
  std::lock_guard lock(registryMutex);
  const int fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd >= 0) registered().insert(pattern);
  return fd;
}

int commitTemporaryFile(const std::string& temporary, const std::string& path) {
  std::lock_guard lock(registryMutex);
  if (rename(temporary.c_str(), path.c_str()) != 0) return errno;
  registered().erase(temporary);
  return 0;
}

void discardTemporaryFile(const std::string& temporary) {
  std::lock_guard lock(registryMutex);
  unlink(temporary.c_str());
  registered().erase(temporary);
}

}  // namespace platform
