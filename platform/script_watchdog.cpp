// The watchdog that stops scripts which run past their deadline.
#include "platform/script_watchdog.h"

#include <js/Interrupt.h>
#include <jsapi.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace platform {
namespace {

class Watchdog {
 public:
  // One per process, on a thread of its own. It is never destroyed, so the detached
  // thread never waits on a destroyed lock at exit.
  static Watchdog& instance() {
    static Watchdog* watchdog = new Watchdog();
    return *watchdog;
  }

  void arm(JSContext* cx, ScriptClock::time_point deadline) {
    {
      std::lock_guard lock(mutex_);
      deadlines_[cx] = deadline;
    }
    wake_.notify_one();
  }

  void disarm(JSContext* cx) {
    std::lock_guard lock(mutex_);
    deadlines_.erase(cx);
  }

 private:
  Watchdog() {
    std::thread([this] { watch(); }).detach();
  }

  void watch() {
    std::unique_lock lock(mutex_);
    for (;;) {
      if (deadlines_.empty()) {
        wake_.wait(lock);
        continue;
      }
      auto earliest = deadlines_.begin();
      for (auto it = deadlines_.begin(); it != deadlines_.end(); ++it) {
        if (it->second < earliest->second) earliest = it;
      }
      // A copy: while this thread waits, the context may be disarmed and its entry erased.
      const ScriptClock::time_point deadline = earliest->second;
      if (ScriptClock::now() < deadline) {
        wake_.wait_until(lock, deadline);
        continue;
      }
      // Under the lock, so the context cannot be disarmed (and its thread end) meanwhile.
      JS_RequestInterruptCallback(earliest->first);
      deadlines_.erase(earliest);
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::map<JSContext*, ScriptClock::time_point> deadlines_;
};

// The deadline of the work this thread is doing.
thread_local ScriptClock::time_point threadDeadline = ScriptClock::time_point::max();

}  // namespace

ScriptDeadline::ScriptDeadline(JSContext* cx, ScriptClock::time_point deadline)
    : cx_(cx), deadline_(deadline), previous_(std::exchange(threadDeadline, deadline)) {
  Watchdog::instance().arm(cx, deadline);
}

ScriptDeadline::~ScriptDeadline() {
  Watchdog::instance().disarm(cx_);
  threadDeadline = previous_;
}

bool continueUnlessPastDeadline(JSContext*) { return ScriptClock::now() < threadDeadline; }

}  // namespace platform
