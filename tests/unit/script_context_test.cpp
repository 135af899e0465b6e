// The script engine layer: values, exceptions, and limits: runaway scripts, heap
// exhaustion, and the watchdog under churn.
#include "platform/script_context.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <future>
#include <thread>

#include "provider_access.h"

namespace {

using namespace std::chrono_literals;
using platform::ScriptContext;

std::optional<std::string> evaluate(ScriptContext& context, const std::string& script) {
  auto value = context.evaluateScript(script);
  return value ? value->toString() : std::nullopt;
}

struct TimeLimit {  // restores the default limit afterwards
  explicit TimeLimit(std::chrono::milliseconds limit) { ScriptContext::setTimeLimit(limit); }
  ~TimeLimit() { ScriptContext::setTimeLimit(10s); }
};

// Runs `work` on a thread of its own, so a limit that never takes effect fails rather than hangs.
template <typename Work>
auto withinAMinute(Work work) {
  auto outcome = std::async(std::launch::async, work);
  if (outcome.wait_for(60s) != std::future_status::ready) {
    ADD_FAILURE() << "the script was never stopped";
    std::abort();
  }
  return outcome.get();
}

TEST(ScriptContext, ValuesAndExceptions) {
  auto context = ScriptContext::create();
  ASSERT_TRUE(context);
  std::vector<std::string> seen;
  context->setExceptionHandler([&seen](ScriptContext&, const platform::ScriptValue& exception) {
    seen.push_back(exception.toString().value_or("?"));
  });
  EXPECT_EQ(evaluate(*context, "'a' + 'b'"), "ab");
  EXPECT_EQ(evaluate(*context, "null"), "null");
  EXPECT_EQ(evaluate(*context, "var x = 1;"), "undefined");
  EXPECT_EQ(evaluate(*context, "({ toString() { throw 1; } })"), std::nullopt);
  context->setGlobal("TEXT", std::string_view("caf\xC3\xA9\0!", 7));
  context->setGlobal("FLAG", true);
  EXPECT_EQ(evaluate(*context, "typeof FLAG + ':' + FLAG + ':' + TEXT.length"), "boolean:true:6");
  seen.clear();
  for (const char* script : {"throw new TypeError('bad')", "this is not javascript",
                             "function f() { return f() + 1; } f()"}) {
    EXPECT_EQ(context->evaluateScript(script), std::nullopt);
  }
  EXPECT_EQ(evaluate(*context, "'still working'"), "still working");
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0], "TypeError: bad");
  EXPECT_TRUE(seen[1].starts_with("SyntaxError")) << seen[1];
  EXPECT_TRUE(seen[2].starts_with("InternalError: too much recursion")) << seen[2];
}

TEST(ScriptContext, RunawayScriptsAreStoppedAtTheTimeLimit) {
  TimeLimit limit(300ms);
  auto [loopFinished, late] = withinAMinute([] {
    auto context = ScriptContext::create();
    const bool finished = context->evaluateScript("for (;;) {}").has_value();
    return std::pair(finished, evaluate(*context, "'late'"));
  });
  EXPECT_FALSE(loopFinished);
  EXPECT_EQ(late, std::nullopt) << "no script starts past the deadline";
  // A conversion past its limit shows the fallback; the next one, in time, does not.
  const std::string text = "# Title\n\n*emphasis*\n";
  ScriptContext::setTimeLimit(0ms);
  EXPECT_EQ(quillory::PreviewProviderInternals::markdownToHTML(text), "<pre>" + text + "</pre>");
  ScriptContext::setTimeLimit(10s);
  EXPECT_EQ(quillory::PreviewProviderInternals::markdownToHTML(text),
            "<h1>Title</h1>\n<p><em>emphasis</em></p>\n");
}

TEST(ScriptContext, ExhaustingTheHeapEndsTheScriptNotTheProcess) {
  TimeLimit limit(4s);
  auto [finished, next] = withinAMinute([] {
    auto context = ScriptContext::create();
    const bool done =
        context->evaluateScript("var a = []; for (;;) a.push({ x: a.length });").has_value();
    context.reset();
    return std::pair(done, evaluate(*ScriptContext::create(), "'next'"));
  });
  EXPECT_FALSE(finished);
  EXPECT_EQ(next, "next");
  // The script heap is capped well below what four seconds of allocation would take.
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  EXPECT_LT(usage.ru_maxrss, 1024 * 1024) << "peak resident KB";
}

// Contexts on many threads come and go well before their deadlines while the watchdog
// waits for the earliest one. Found by the page fuzzer: the watchdog read the deadline of
// a context already gone (AddressSanitizer reports it).
TEST(ScriptWatchdog, ContextsEndingBeforeTheirDeadlinesLeaveItWorking) {
  {
    TimeLimit limit(5s);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([] {
        for (int i = 0; i < 50; ++i) EXPECT_EQ(evaluate(*ScriptContext::create(), "6 * 7"), "42");
      });
    }
    for (std::thread& thread : threads) thread.join();
  }
  // Afterwards a runaway script is still stopped at its limit.
  TimeLimit limit(200ms);
  EXPECT_FALSE(withinAMinute(
      [] { return ScriptContext::create()->evaluateScript("for (;;) {}").has_value(); }));
}

}  // namespace
