// The script engine: a fresh JavaScript context per use, on the calling thread's engine.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class ScriptContext;

// The engine's name and version, and whether its cache file matches it; for --version.
std::string describeScriptEngine();

// A value that a script produced. It stays valid while its thread lives, also after
// its context is gone.
class ScriptValue {
 public:
  // The string form (a string yields itself, null yields "null") as UTF-8, with U+FFFD
  // for any lone surrogate; nothing when the conversion itself fails, or when the text
  // would take more than `maxBytes`: then it is never laid out in memory whole.
  std::optional<std::string> toString(size_t maxBytes = SIZE_MAX) const;

 private:
  friend class ScriptContext;

  struct Rooted;
  explicit ScriptValue(std::shared_ptr<Rooted> rooted) : rooted_(std::move(rooted)) {}
  std::shared_ptr<Rooted> rooted_;
};

// One JavaScript global object with the standard classes and nothing of any other
// context in it. Use it only on the thread that created it.
class ScriptContext {
 public:
  using ExceptionHandler = std::function<void(ScriptContext&, const ScriptValue& exception)>;

  // A new, empty context whose scripts may run `timeLimit` in all, counted from now, and
  // hold limits::scriptMemoryBytes of memory: past either the running script is stopped and
  // later ones do not start, and evaluation yields nothing. Nothing when the engine cannot
  // make one.
  static std::unique_ptr<ScriptContext> create(std::chrono::milliseconds timeLimit);
  ~ScriptContext();
  ScriptContext(const ScriptContext&) = delete;
  ScriptContext& operator=(const ScriptContext&) = delete;

  // Every uncaught exception of a later evaluation goes to `handler` and is then
  // cleared; evaluation of the next script proceeds normally.
  void setExceptionHandler(ExceptionHandler handler);

  // Runs `source` (UTF-8) as a classic script in the global scope. The completion
  // value, or nothing when the script threw or could not run.
  std::optional<ScriptValue> evaluateScript(std::string_view source);

  // Whether the time limit, counted from this context's creation, has run out.
  bool timeLimitPassed() const;

  // Defines the global `name` as a string (from UTF-8) or a boolean.
  void setGlobal(const std::string& name, std::string_view utf8Text);
  void setGlobal(const std::string& name, bool value);

 private:
  struct Engine;
  explicit ScriptContext(std::unique_ptr<Engine> engine);
  void dispatchPendingException();

  std::unique_ptr<Engine> engine_;
  ExceptionHandler exceptionHandler_;
};

}  // namespace platform
