// The script engine: a fresh JavaScript context per use, on the calling thread's engine.
//
// SpiderMonkey's rules: JS_Init once per process before any JSContext; one JSContext
// per thread; every JSContext destroyed before JS_ShutDown. Each thread's JSContext is
// made on first use and destroyed when the thread ends; the process-wide engine is
// shut down when the last of them, and the process's own reference, are gone.
#include "platform/script_context.h"

#include <js/CharacterEncoding.h>
#include <js/CompilationAndEvaluation.h>
#include <js/Conversions.h>
#include <js/Exception.h>
#include <js/GlobalObject.h>
#include <js/Initialization.h>
#include <js/PropertyAndElement.h>
#include <js/Realm.h>
#include <js/RealmOptions.h>
#include <js/SourceText.h>
#include <js/Stack.h>
#include <js/String.h>
#include <jsapi.h>
#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <utility>

#include "platform/script_watchdog.h"

namespace platform {
namespace {

// Live JavaScript heap one thread's engine may use; beyond it allocations fail and the
// script throws, which the caller sees as a failed evaluation.
constexpr uint32_t kHeapMaxBytes = 1024u * 1024u * 1024u;
// Native stack kept free below the engine's recursion limit.
constexpr size_t kStackReserve = 256 * 1024;

class ProcessEngine {
 public:
  ProcessEngine() : initialized_(JS_Init()) {}
  ~ProcessEngine() {
    if (initialized_) JS_ShutDown();
  }
  bool initialized() const { return initialized_; }

 private:
  bool initialized_;
};

std::shared_ptr<ProcessEngine> processEngine() {
  static const std::shared_ptr<ProcessEngine> engine = std::make_shared<ProcessEngine>();
  return engine;
}

std::atomic<std::chrono::milliseconds::rep> timeLimitMilliseconds{10'000};

// The deadline of the context this thread is working in; the engine asks at every
// interrupt whether to go on.
thread_local ScriptClock::time_point currentDeadline = ScriptClock::time_point::max();

bool continueUnlessPastDeadline(JSContext*) { return ScriptClock::now() < currentDeadline; }

size_t threadStackSize() {
  pthread_attr_t attributes;
  size_t size = 0;
  if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
    void* base = nullptr;
    pthread_attr_getstack(&attributes, &base, &size);
    pthread_attr_destroy(&attributes);
  }
  return size;
}

class ThreadEngine {
 public:
  ThreadEngine() : process_(processEngine()) {
    if (!process_->initialized()) return;
    context_ = JS_NewContext(kHeapMaxBytes);
    if (context_ == nullptr) return;
    // Deep recursion in a script must end in a catchable error, not a crash.
    size_t stack = threadStackSize();
    if (stack > 2 * kStackReserve) JS_SetNativeStackQuota(context_, stack - kStackReserve);
    if (!JS::InitSelfHostedCode(context_) ||
        !JS_AddInterruptCallback(context_, continueUnlessPastDeadline)) {
      JS_DestroyContext(context_);
      context_ = nullptr;
    }
  }
  ~ThreadEngine() {
    if (context_ != nullptr) JS_DestroyContext(context_);
  }
  ThreadEngine(const ThreadEngine&) = delete;
  ThreadEngine& operator=(const ThreadEngine&) = delete;

  JSContext* context() const { return context_; }

 private:
  std::shared_ptr<ProcessEngine> process_;  // released after the context is destroyed
  JSContext* context_ = nullptr;
};

JSContext* threadContext() {
  thread_local ThreadEngine engine;
  return engine.context();
}

const JSClass kGlobalClass = {
    "global", JSCLASS_GLOBAL_FLAGS, &JS::DefaultGlobalClassOps, nullptr, nullptr, nullptr};

}  // namespace

struct ScriptValue::Rooted {
  Rooted(JSContext* cx, JSObject* global, const JS::Value& value)
      : cx(cx), global(cx, global), value(cx, value) {}
  JSContext* cx;
  JS::PersistentRootedObject global;
  JS::PersistentRootedValue value;
};

struct ScriptContext::Engine {
  Engine(JSContext* cx, JSObject* globalObject)
      : cx(cx),
        global(cx, globalObject),
        deadline(ScriptClock::now() + std::chrono::milliseconds(timeLimitMilliseconds.load())),
        previousDeadline(std::exchange(currentDeadline, deadline)) {
    previousRealm = JS::EnterRealm(cx, global);
    armScriptWatchdog(cx, deadline);
  }
  ~Engine() {
    disarmScriptWatchdog(cx);
    currentDeadline = previousDeadline;
    JS::LeaveRealm(cx, previousRealm);
    global.reset();
    JS_MaybeGC(cx);
  }
  bool pastDeadline() const { return ScriptClock::now() >= deadline; }

  JSContext* cx;
  JS::PersistentRootedObject global;
  ScriptClock::time_point deadline;
  ScriptClock::time_point previousDeadline;
  JS::Realm* previousRealm = nullptr;
};

std::optional<std::string> ScriptValue::toString() const {
  JSContext* cx = rooted_->cx;
  JSAutoRealm realm(cx, rooted_->global);
  JS::RootedString string(cx, JS::ToString(cx, rooted_->value));
  JSLinearString* linear = string ? JS_EnsureLinearString(cx, string) : nullptr;
  if (linear == nullptr) {
    JS_ClearPendingException(cx);
    return std::nullopt;
  }
  std::string utf8(JS::GetDeflatedUTF8StringLength(linear), '\0');
  utf8.resize(JS::DeflateStringToUTF8Buffer(linear, mozilla::Span(utf8.data(), utf8.size())));
  return utf8;
}

std::unique_ptr<ScriptContext> ScriptContext::create() {
  JSContext* cx = threadContext();
  if (cx == nullptr) return nullptr;
  JS::RealmOptions options;
  JS::RootedObject global(
      cx, JS_NewGlobalObject(cx, &kGlobalClass, nullptr, JS::FireOnNewGlobalHook, options));
  if (!global) {
    JS_ClearPendingException(cx);
    return nullptr;
  }
  auto engine = std::make_unique<Engine>(cx, global);
  if (!JS::InitRealmStandardClasses(cx)) {
    JS_ClearPendingException(cx);
    return nullptr;
  }
  return std::unique_ptr<ScriptContext>(new ScriptContext(std::move(engine)));
}

void ScriptContext::setTimeLimit(std::chrono::milliseconds limit) {
  timeLimitMilliseconds = limit.count();
}

ScriptContext::ScriptContext(std::unique_ptr<Engine> engine) : engine_(std::move(engine)) {}

ScriptContext::~ScriptContext() = default;

void ScriptContext::setExceptionHandler(ExceptionHandler handler) {
  exceptionHandler_ = std::move(handler);
}

void ScriptContext::dispatchPendingException() {
  JSContext* cx = engine_->cx;
  JS::RootedValue exception(cx);
  // An uncatchable failure (out of memory, an interrupted script) leaves none pending.
  if (!JS_GetPendingException(cx, &exception)) return;
  JS_ClearPendingException(cx);
  if (exceptionHandler_) {
    exceptionHandler_(*this, ScriptValue(std::make_shared<ScriptValue::Rooted>(
                                 cx, engine_->global, exception)));
  }
}

std::optional<ScriptValue> ScriptContext::evaluateScript(std::string_view source) {
  if (engine_->pastDeadline()) return std::nullopt;
  JSContext* cx = engine_->cx;
  JS::CompileOptions options(cx);
  options.setFileAndLine("script", 1);
  JS::SourceText<mozilla::Utf8Unit> text;
  JS::RootedValue result(cx);
  if (!text.init(cx, source.data(), source.size(), JS::SourceOwnership::Borrowed) ||
      !JS::Evaluate(cx, options, text, &result)) {
    dispatchPendingException();
    return std::nullopt;
  }
  return ScriptValue(std::make_shared<ScriptValue::Rooted>(cx, engine_->global, result));
}

void ScriptContext::setGlobal(const std::string& name, std::string_view utf8Text) {
  JSContext* cx = engine_->cx;
  JS::RootedString string(cx, JS_NewStringCopyUTF8N(cx, JS::UTF8Chars(utf8Text.data(),
                                                                      utf8Text.size())));
  JS::RootedValue value(cx, string ? JS::StringValue(string) : JS::UndefinedValue());
  if (!string || !JS_SetProperty(cx, engine_->global, name.c_str(), value)) {
    dispatchPendingException();
  }
}

void ScriptContext::setGlobal(const std::string& name, bool flag) {
  JSContext* cx = engine_->cx;
  JS::RootedValue value(cx, JS::BooleanValue(flag));
  if (!JS_SetProperty(cx, engine_->global, name.c_str(), value)) dispatchPendingException();
}

}  // namespace platform
