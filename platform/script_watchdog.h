// The watchdog that stops scripts which run past their deadline.
#pragma once

#include <chrono>

struct JSContext;

namespace platform {

using ScriptClock = std::chrono::steady_clock;

// While it lives, scripts on this thread may run until `deadline`: then the watchdog
// has the engine interrupt `cx`, and the interrupt callback ends the running script.
class ScriptDeadline {
 public:
  ScriptDeadline(JSContext* cx, ScriptClock::time_point deadline);
  ~ScriptDeadline();
  ScriptDeadline(const ScriptDeadline&) = delete;
  ScriptDeadline& operator=(const ScriptDeadline&) = delete;

  bool passed() const { return ScriptClock::now() >= deadline_; }

 private:
  JSContext* cx_;
  ScriptClock::time_point deadline_;
  ScriptClock::time_point previous_;
};

// The engine's interrupt callback: go on unless this thread's deadline has passed.
bool continueUnlessPastDeadline(JSContext* cx);

}  // namespace platform
