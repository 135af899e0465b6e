// What the process runs on besides files: the pool of worker threads, random bytes, and
// the end of a helper process with its parent.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace platform {

// The global concurrent executor: a pool of worker threads, one per core.
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

// Has the kernel end this process when the thread that started it ends.
void endWithParent();

// Ends this process by `signal`, as the signal's default action does, from any thread.
[[noreturn]] void endBySignal(int signal);

// Fills `buffer` from the kernel's cryptographically secure source. Returns 0 on
// success and a non-zero status (an errno value) on failure.
using SecureRandomSource = int (*)(std::span<uint8_t> buffer);
int secureRandomBytes(std::span<uint8_t> buffer);

// One byte drawn uniformly from 0 through 255 by an ordinary (not secure) generator, for
// when the secure source fails.
uint8_t ordinaryRandomByte();

}  // namespace platform
