// The script engine's inside: each thread's SpiderMonkey engine, its memory budget, and the
// deadline watchdog.
#pragma once

#include <js/SourceText.h>
#include <js/experimental/JSStencil.h>
#include <jsapi.h>
#include <mozilla/RefPtr.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

using ScriptClock = std::chrono::steady_clock;

// While it lives, scripts on this thread may run until `deadline`, and while the engine
// holds no more than limits::scriptMemoryBytes for them: at the deadline the watchdog has
// the engine interrupt `cx`, after each garbage collection the engine interrupts itself to
// weigh what it holds, and the interrupt callback ends the running script past either.
class ScriptBounds {
 public:
  ScriptBounds(JSContext* cx, ScriptClock::time_point deadline);
  ~ScriptBounds();
  ScriptBounds(const ScriptBounds&) = delete;
  ScriptBounds& operator=(const ScriptBounds&) = delete;

  bool deadlinePassed() const { return ScriptClock::now() >= deadline_; }
  // Whether a script was ended because the engine held more memory than its budget.
  bool memoryExhausted() const { return memoryExhausted_; }

 private:
  friend bool continueWithinBounds(JSContext* cx);

  JSContext* cx_;
  ScriptClock::time_point deadline_;
  ScriptBounds* previous_;
  bool memoryExhausted_ = false;
};

// The engine's interrupt callback: go on while this thread's scripts are within their bounds.
bool continueWithinBounds(JSContext* cx);

class ProcessEngine;

// Each thread's engine: its JSContext, the zone its globals share, and the scripts it
// has compiled.
class ThreadEngine {
 public:
  // The calling thread's engine, made on first use and destroyed when the thread ends;
  // nothing when the engine cannot start, or when the process is exiting.
  static ThreadEngine* current();

  // Holds `process` (the engine's process-wide part) until this engine is gone.
  explicit ThreadEngine(std::shared_ptr<ProcessEngine> process);
  ~ThreadEngine();
  ThreadEngine(const ThreadEngine&) = delete;
  ThreadEngine& operator=(const ThreadEngine&) = delete;

  JSContext* context() const { return context_; }

  // Whether what the engine accounts to this thread (its heap, and the text, arrays and other
  // data it allocates outside the heap) fits limits::scriptMemoryBytes once the garbage in it
  // is collected.
  bool withinMemoryBudget();

  // A new global object with the standard classes, in the zone that all of this
  // thread's globals share (so compiled regular expressions and code are reused), yet
  // with nothing of any other global in it. Null, with any exception cleared, on failure.
  JSObject* newGlobal();

  // `source` compiled for this thread's engine; large texts are compiled once and kept.
  // Null with an exception pending when the text does not compile.
  RefPtr<JS::Stencil> compile(std::string_view source);

 private:
  struct CompiledText {
    std::string text;
    RefPtr<JS::Stencil> stencil;
  };

  size_t heldBytes() const;

  std::shared_ptr<ProcessEngine> process_;  // first: released after the context
  JSContext* context_ = nullptr;
  JS::PersistentRootedObject* zoneAnchor_ = nullptr;
  JS::PersistentRootedObject* zoneMemory_ = nullptr;  // the engine's own figures for the zone
  std::vector<CompiledText> compiled_;                // most recently used first
};

}  // namespace platform
