// The script engine: a fresh JavaScript context per use, on the calling thread's engine.
#include "platform/script_context.h"

#include <js/CharacterEncoding.h>
#include <js/CompilationAndEvaluation.h>
#include <js/Conversions.h>
#include <js/Exception.h>
#include <js/PropertyAndElement.h>
#include <js/Realm.h>
#include <js/String.h>
#include <jsapi.h>

#include "platform/script_engine.h"
#include "platform/script_engine_cache.h"

namespace platform {
struct ScriptValue::Rooted {
  Rooted(JSContext* cx, JSObject* global, const JS::Value& value)
      : cx(cx), global(cx, global), value(cx, value) {}
  JSContext* cx;
  JS::PersistentRootedObject global;
  JS::PersistentRootedValue value;
};

struct ScriptContext::Engine {
  Engine(ThreadEngine& thread, JSObject* globalObject, std::chrono::milliseconds timeLimit)
      : thread(thread),
        cx(thread.context()),
        global(cx, globalObject),
        bounds(cx, ScriptClock::now() + timeLimit),
        previousRealm(JS::EnterRealm(cx, globalObject)) {}
  ~Engine() {
    JS::LeaveRealm(cx, previousRealm);
    global.reset();
    // Scripts stopped for their memory leave as much garbage: freed now, for the next ones.
    if (bounds.memoryExhausted()) {
      JS_GC(cx);
    } else {
      JS_MaybeGC(cx);
    }
  }

  ThreadEngine& thread;
  JSContext* cx;
  JS::PersistentRootedObject global;
  ScriptBounds bounds;
  JS::Realm* previousRealm;
};

std::string describeScriptEngine() {
  return std::string("script engine: ") + JS_GetImplementationVersion() +
         "\nscript engine cache: " + std::string(EngineCache().state());
}

std::optional<std::string> ScriptValue::toString(size_t maxBytes) const {
  JSContext* cx = rooted_->cx;
  JSAutoRealm realm(cx, rooted_->global);
  JS::RootedString string(cx, JS::ToString(cx, rooted_->value));
  // A string built by concatenation is a tree until it is flattened; every UTF-16 unit
  // takes at least one byte in UTF-8, so its length alone may already rule it out.
  if (string && JS_GetStringLength(string) > maxBytes) return std::nullopt;
  JSLinearString* linear = string ? JS_EnsureLinearString(cx, string) : nullptr;
  if (linear == nullptr) {
    JS_ClearPendingException(cx);
    return std::nullopt;
  }
  const size_t length = JS::GetDeflatedUTF8StringLength(linear);
  if (length > maxBytes) return std::nullopt;
  // Lone surrogates come out as U+FFFD.
  std::string utf8(length, '\0');
  utf8.resize(JS::DeflateStringToUTF8Buffer(linear, mozilla::Span(utf8.data(), utf8.size())));
  return utf8;
}

std::unique_ptr<ScriptContext> ScriptContext::create(std::chrono::milliseconds timeLimit) {
  ThreadEngine* thread = ThreadEngine::current();
  if (thread == nullptr) return nullptr;
  JSObject* global = thread->newGlobal();
  if (global == nullptr) return nullptr;
  return std::unique_ptr<ScriptContext>(
      new ScriptContext(std::make_unique<Engine>(*thread, global, timeLimit)));
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
    exceptionHandler_(
        *this, ScriptValue(std::make_shared<ScriptValue::Rooted>(cx, engine_->global, exception)));
  }
}

std::optional<ScriptValue> ScriptContext::evaluateScript(std::string_view source) {
  if (engine_->bounds.deadlinePassed() || engine_->bounds.memoryExhausted()) return std::nullopt;
  JSContext* cx = engine_->cx;
  RefPtr<JS::Stencil> stencil = engine_->thread.compile(source);
  JS::RootedValue result(cx);
  if (stencil) {
    JS::CompileOptions options(cx);
    setScriptCompileOptions(options);
    JS::RootedScript script(
        cx, JS::InstantiateGlobalStencil(cx, JS::InstantiateOptions(options), stencil));
    if (script && JS_ExecuteScript(cx, script, &result)) {
      return ScriptValue(std::make_shared<ScriptValue::Rooted>(cx, engine_->global, result));
    }
  }
  dispatchPendingException();
  return std::nullopt;
}

bool ScriptContext::timeLimitPassed() const { return engine_->bounds.deadlinePassed(); }

void ScriptContext::setGlobal(const std::string& name, std::string_view utf8Text) {
  JSContext* cx = engine_->cx;
  JS::RootedString string(
      cx, JS_NewStringCopyUTF8N(cx, JS::UTF8Chars(utf8Text.data(), utf8Text.size())));
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
