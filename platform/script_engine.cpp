// The script engine's inside: each thread's SpiderMonkey engine, its memory budget, and the
// deadline watchdog.
//
// A thread's engine holds its JSContext, the zone its globals share, and the scripts it
// has compiled; the watchdog stops scripts that run past their deadline, and a script whose
// zone holds more than its memory budget once collected is stopped at the next interrupt.
//
// SpiderMonkey's rules: JS_Init once per process before any JSContext; one JSContext
// per thread; every JSContext destroyed before JS_ShutDown; the compiled start-up code
// handed to a JSContext kept until JS_ShutDown (the engine's helper threads read it until
// then). How each piece ends:
// - a thread's engine (its JSContext) when its thread ends;
// - the process engine (JS_Init to JS_ShutDown) and the engine cache it owns, after the
//   last thread engine and the process's own reference are gone; the process lets go of
//   its reference as it exits, and no thread engine is made after that.
#include "platform/script_engine.h"

#include <js/BuildId.h>
#include <js/CompilationAndEvaluation.h>
#include <js/Context.h>
#include <js/GCAPI.h>
#include <js/GlobalObject.h>
#include <js/Initialization.h>
#include <js/Interrupt.h>
#include <js/Promise.h>
#include <js/PropertyAndElement.h>
#include <js/Realm.h>
#include <js/RealmOptions.h>
#include <js/Stack.h>
#include <pthread.h>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/limits.h"
#include "platform/script_engine_cache.h"

namespace platform {
namespace {

// Native stack kept free below the engine's recursion limit.
constexpr size_t kStackReserve = 256 * 1024;
// Texts at least this long are compiled once per thread and kept; the libraries are.
constexpr size_t kCompiledTextMinimum = 1024;
constexpr size_t kCompiledTextsKept = 16;
// Calls (or loop iterations) of a function before the engine compiles it to machine code.
constexpr uint32_t kBaselineWarmUpCalls = 1000;

}  // namespace

class ProcessEngine {
 public:
  ProcessEngine() {
    // Compiled forms in the engine cache are checked against this build's identity.
    JS::SetProcessBuildIdOp(engineBuildId);
    initialized_ = JS_Init();
  }
  ~ProcessEngine() {
    if (initialized_) JS_ShutDown();
  }  // the cache goes after JS_ShutDown has returned
  bool initialized() const { return initialized_; }
  const EngineCache& cache() const { return cache_; }

 private:
  const EngineCache cache_;  // declared first: destroyed last
  bool initialized_ = false;
};

namespace {

// The process's own reference to the process engine. The state is never freed, so a
// thread that asks for an engine while the process exits finds it, and gets none.
struct ProcessReference {
  std::mutex mutex;
  std::shared_ptr<ProcessEngine> engine;
  bool released = false;
};

ProcessReference& processReference() {
  static auto* const reference = new ProcessReference();
  return *reference;
}

// The process engine, started on first use; nothing once the process has begun to exit.
std::shared_ptr<ProcessEngine> acquireProcessEngine() {
  ProcessReference& reference = processReference();
  std::lock_guard lock(reference.mutex);
  if (reference.released) return nullptr;
  if (!reference.engine) {
    reference.engine = std::make_shared<ProcessEngine>();
    // Destroyed at exit, before whatever was made earlier (the executor among them,
    // whose threads' engines then end, the last of them shutting the engine down).
    static struct ReleaseAtExit {
      ~ReleaseAtExit() {
        ProcessReference& reference = processReference();
        std::lock_guard lock(reference.mutex);
        reference.released = true;
        reference.engine.reset();
      }
    } releaseAtExit;
  }
  return reference.engine;
}

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

const JSClass kGlobalClass = {
    "global", JSCLASS_GLOBAL_FLAGS, &JS::DefaultGlobalClassOps, nullptr, nullptr, nullptr};

JSObject* makeGlobal(JSContext* cx, JSObject* zoneAnchor) {
  JS::RealmOptions options;
  if (zoneAnchor != nullptr) {
    options.creationOptions().setNewCompartmentInExistingZone(zoneAnchor);
  }
  // The standard classes are resolved on first use by the global's class hooks.
  JSObject* global =
      JS_NewGlobalObject(cx, &kGlobalClass, nullptr, JS::FireOnNewGlobalHook, options);
  if (global == nullptr) JS_ClearPendingException(cx);
  return global;
}

// A new JSContext with its self-hosted code, taken from the engine cache when that
// holds it; should the cached form be refused, the code is compiled instead.
// Promise reactions never run: a conversion is one evaluation after another, with no event
// loop to run them in. Without a queue the engine dereferences null at the first then().
class NoJobQueue final : public JS::JobQueue {
 public:
  JSObject* getIncumbentGlobal(JSContext* cx) override { return JS::CurrentGlobalOrNull(cx); }
  bool enqueuePromiseJob(JSContext*, JS::HandleObject, JS::HandleObject, JS::HandleObject,
                         JS::HandleObject) override {
    return true;
  }
  void runJobs(JSContext*) override {}
  bool empty() const override { return true; }

 private:
  js::UniquePtr<SavedJobQueue> saveJobQueue(JSContext*) override {
    return js::MakeUnique<SavedJobQueue>();
  }
};

JSContext* newContext(const EngineCache& cache) {
  for (JS::SelfHostedCache selfHosted : {cache.selfHosted(), JS::SelfHostedCache()}) {
    JSContext* cx = JS_NewContext(limits::scriptHeapBytes);
    if (cx == nullptr) return nullptr;
    if (JS::InitSelfHostedCode(cx, selfHosted)) return cx;
    JS_DestroyContext(cx);
    if (selfHosted.empty()) break;
  }
  return nullptr;
}

// The engine's figures for the zone of `global` (its heap's bytes and the bytes it has
// allocated outside the heap for what lives in it), read as properties; null on failure.
JSObject* zoneMemoryFigures(JSContext* cx, JSObject* global) {
  JSAutoRealm realm(cx, global);
  JS::RootedObject figures(cx, js::gc::NewMemoryInfoObject(cx));
  JS::RootedValue zone(cx);
  if (figures == nullptr || !JS_GetProperty(cx, figures, "zone", &zone) || !zone.isObject()) {
    JS_ClearPendingException(cx);
    return nullptr;
  }
  return &zone.toObject();
}

void weighAfterNurseryCollection(JSContext* cx, JS::GCNurseryProgress progress, JS::GCReason);
void weighAfterCollection(JSContext* cx, JSGCStatus status, JS::GCReason, void*);

}  // namespace

ThreadEngine* ThreadEngine::current() {
  thread_local ThreadEngine engine(acquireProcessEngine());
  return engine.context_ != nullptr ? &engine : nullptr;
}

ThreadEngine::ThreadEngine(std::shared_ptr<ProcessEngine> process) : process_(std::move(process)) {
  if (!process_ || !process_->initialized()) return;
  context_ = newContext(process_->cache());
  if (context_ == nullptr) return;
  // The engine's options are process-wide: set once, before any thread runs a script.
  static std::once_flag optionsSet;
  std::call_once(optionsSet, [this] {
    // Every conversion runs fresh copies of the libraries' functions, so compiling one to
    // machine code pays only when it runs long, as in a large document: measured, a
    // README converts 20% faster, and a 4 MB document no slower, than with the
    // default of 100 calls.
    JS_SetGlobalJitCompilerOption(context_, JSJITCOMPILER_BASELINE_WARMUP_TRIGGER,
                                  kBaselineWarmUpCalls);
  });
  // Deep recursion in a script must end in a catchable error, not a crash.
  size_t stack = threadStackSize();
  if (stack > 2 * kStackReserve) JS_SetNativeStackQuota(context_, stack - kStackReserve);
  static NoJobQueue noJobs;
  JS::SetJobQueue(context_, &noJobs);
  JS_SetContextPrivate(context_, this);
  JSObject* anchor = nullptr;
  JSObject* zoneMemory = nullptr;
  if (JS_AddInterruptCallback(context_, continueWithinBounds) &&
      (anchor = makeGlobal(context_, nullptr)) != nullptr &&
      (zoneMemory = zoneMemoryFigures(context_, anchor)) != nullptr) {
    zoneAnchor_ = new JS::PersistentRootedObject(context_, anchor);
    zoneMemory_ = new JS::PersistentRootedObject(context_, zoneMemory);
    JS::SetGCNurseryCollectionCallback(context_, weighAfterNurseryCollection);
    JS_SetGCCallback(context_, weighAfterCollection, nullptr);
    return;
  }
  JS_DestroyContext(context_);
  context_ = nullptr;
}

ThreadEngine::~ThreadEngine() {
  if (context_ == nullptr) return;
  compiled_.clear();
  delete zoneMemory_;
  delete zoneAnchor_;
  JS_DestroyContext(context_);
}

size_t ThreadEngine::heldBytes() const {
  JSAutoRealm realm(context_, *zoneMemory_);
  double bytes = 0;
  for (const char* figure : {"gcBytes", "mallocBytes"}) {
    JS::RootedValue value(context_);
    if (!JS_GetProperty(context_, *zoneMemory_, figure, &value) || !value.isNumber()) {
      JS_ClearPendingException(context_);
      return SIZE_MAX;  // unknown: taken as too much
    }
    bytes += value.toNumber();
  }
  return static_cast<size_t>(bytes);
}

bool ThreadEngine::withinMemoryBudget() {
  if (heldBytes() <= limits::scriptMemoryBytes) return true;
  // Garbage counts until it is collected (measured: 300 MB kept amid 3 GB of garbage
  // weighs 384 MB before a collection, 300 MB after it).
  JS_GC(context_);
  return heldBytes() <= limits::scriptMemoryBytes;
}

JSObject* ThreadEngine::newGlobal() { return makeGlobal(context_, *zoneAnchor_); }

RefPtr<JS::Stencil> ThreadEngine::compile(std::string_view source) {
  for (auto it = compiled_.begin(); it != compiled_.end(); ++it) {
    if (it->text == source) {
      std::rotate(compiled_.begin(), it, it + 1);
      return compiled_.front().stencil;
    }
  }
  RefPtr<JS::Stencil> stencil = process_->cache().stencilFor(context_, source);
  if (!stencil) {
    JS::CompileOptions options(context_);
    setScriptCompileOptions(options);
    JS::SourceText<mozilla::Utf8Unit> text;
    if (!text.init(context_, source.data(), source.size(), JS::SourceOwnership::Borrowed)) {
      return nullptr;
    }
    stencil = JS::CompileGlobalScriptToStencil(context_, options, text);
  }
  if (stencil && source.size() >= kCompiledTextMinimum) {
    if (compiled_.size() == kCompiledTextsKept) compiled_.pop_back();
    compiled_.insert(compiled_.begin(), CompiledText{std::string(source), stencil});
  }
  return stencil;
}

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

// The bounds of the work this thread is doing, if any.
thread_local ScriptBounds* threadBounds = nullptr;
// Set when a collection has ended: what the engine holds is weighed at the next interrupt.
thread_local bool memoryToWeigh = false;

void weighAtNextInterrupt(JSContext* cx) {
  if (threadBounds == nullptr) return;
  memoryToWeigh = true;
  JS_RequestInterruptCallback(cx);
}

// Memory grows between collections only as far as the engine lets it before the next one,
// so weighing after each one (most often the nursery's) follows it closely.
void weighAfterNurseryCollection(JSContext* cx, JS::GCNurseryProgress progress, JS::GCReason) {
  if (progress == JS::GCNurseryProgress::GC_NURSERY_COLLECTION_END) weighAtNextInterrupt(cx);
}

void weighAfterCollection(JSContext* cx, JSGCStatus status, JS::GCReason, void*) {
  if (status == JSGC_END) weighAtNextInterrupt(cx);
}

}  // namespace

ScriptBounds::ScriptBounds(JSContext* cx, ScriptClock::time_point deadline)
    : cx_(cx), deadline_(deadline), previous_(std::exchange(threadBounds, this)) {
  Watchdog::instance().arm(cx, deadline);
}

ScriptBounds::~ScriptBounds() {
  Watchdog::instance().disarm(cx_);
  threadBounds = previous_;
}

bool continueWithinBounds(JSContext* cx) {
  ScriptBounds* bounds = threadBounds;
  if (bounds == nullptr) return true;
  if (bounds->deadlinePassed() || bounds->memoryExhausted_) return false;
  if (std::exchange(memoryToWeigh, false)) {
    auto* engine = static_cast<ThreadEngine*>(JS_GetContextPrivate(cx));
    bounds->memoryExhausted_ = !engine->withinMemoryBudget();
    memoryToWeigh = false;  // the collections just made need no weighing of their own
  }
  return !bounds->memoryExhausted_;
}

}  // namespace platform
