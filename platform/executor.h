// The global concurrent executor: a pool of worker threads, one per core.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

class Executor {
 public:
  // The process-wide pool, started on first use. At exit it runs what is queued, then
  // joins its threads.
  static Executor& global();

  explicit Executor(unsigned threads);
  ~Executor();
  Executor(const Executor&) = delete;
  Executor& operator=(const Executor&) = delete;

  // Queues `task`; it runs on one of the workers. Returns at once.
  void enqueue(std::function<void()> task);

  unsigned threadCount() const { return static_cast<unsigned>(workers_.size()); }

 private:
  void work();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> queue_;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace platform
