// The global concurrent executor: a pool of worker threads, one per core.
#include "platform/executor.h"

#include <sched.h>

#include <algorithm>

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

}  // namespace

Executor& Executor::global() {
  static Executor executor(usableCores());
  return executor;
}

Executor::Executor(unsigned threads) {
  workers_.reserve(threads);
  for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { work(); });
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

}  // namespace platform
