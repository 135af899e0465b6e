// What the process runs on besides files: the pool of worker threads, random bytes, and
// the end of a helper process with its parent.
#include "platform/process.h"

#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <exception>
#include <random>
#include <system_error>

namespace platform {
namespace {

// The cores this process may run on (fewer than the machine's under taskset or a quota).
unsigned usableCores() {
  cpu_set_t cores;
  if (sched_getaffinity(0, sizeof cores, &cores) == 0) {
    return static_cast<unsigned>(std::max(1, CPU_COUNT(&cores)));
  }
  return std::max(1u, std::thread::hardware_concurrency());
}

// The ordinary generator must work when the kernel's source does not, so its seed
// falls back to the clock.
std::mt19937::result_type seed() {
  try {
    return std::random_device{}();
  } catch (const std::exception&) {
    return static_cast<std::mt19937::result_type>(
        std::chrono::steady_clock::now().time_since_epoch().count());
  }
}

}  // namespace

Executor& Executor::global() {
  static Executor executor(usableCores());
  return executor;
}

Executor::Executor(unsigned threads) {
  workers_.reserve(threads);
  try {
    for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { work(); });
  } catch (const std::system_error&) {
    // No thread could start: the caller is told. Fewer than asked for still do the work.
    if (workers_.empty()) throw;
  }
}

Executor::~Executor() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void Executor::enqueue(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(task));
  }
  wake_.notify_one();
}

void Executor::work() {
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;  // stopping, and nothing left to run
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    task();
  }
}

void endWithParent() { prctl(PR_SET_PDEATHSIG, SIGKILL); }

void endBySignal(int signal) {
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

int secureRandomBytes(std::span<uint8_t> buffer) {
  size_t filled = 0;
  while (filled < buffer.size()) {
    ssize_t got = getrandom(buffer.data() + filled, buffer.size() - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    filled += static_cast<size_t>(got);
  }
  return 0;
}

uint8_t ordinaryRandomByte() {
  thread_local std::mt19937 generator{seed()};
  return static_cast<uint8_t>(std::uniform_int_distribution<int>(0, 255)(generator));
}

}  // namespace platform
