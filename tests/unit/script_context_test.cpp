// The script engine layer: values, exceptions, and limits: runaway scripts, heap
// exhaustion, and the watchdog under churn.
#include "platform/script_context.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "provider_access.h"

namespace {

using namespace std::chrono_literals;
using platform::ScriptContext;

std::optional<std::string> evaluate(ScriptContext& context, const std::string& script) {
  auto value = context.evaluateScript(script);
  return value ? value->toString() : std::nullopt;
}

TEST(ScriptContext, ValuesAndExceptions) {
  auto context = ScriptContext::create(10s);
  ASSERT_TRUE(context);
  std::string seen;  // each exception reported, one a line
  context->setExceptionHandler([&seen](ScriptContext&, const platform::ScriptValue& exception) {
    seen += exception.toString().value_or("?") + "\n";
  });
  EXPECT_EQ(evaluate(*context, "'a' + 'b'"), "ab");
  EXPECT_EQ(evaluate(*context, "null"), "null");
  EXPECT_EQ(evaluate(*context, "var x = 1;"), "undefined");
  // Promise reactions never run, with no event loop to run them; asking for one is no crash.
  EXPECT_EQ(
      evaluate(*context, "Promise.resolve().then(() => x++); (async () => { await 0; x++; })(); x"),
      "1");
  EXPECT_EQ(evaluate(*context, "x"), "1");
  EXPECT_EQ(evaluate(*context, "({ toString() { throw 1; } })"), std::nullopt);
  context->setGlobal("TEXT", std::string_view("caf\xC3\xA9\0!", 7));
  context->setGlobal("FLAG", true);
  EXPECT_EQ(evaluate(*context, "typeof FLAG + ':' + FLAG + ':' + TEXT.length"), "boolean:true:6");
  for (auto [script, exception] :
       {std::pair{"throw new TypeError('bad')", "TypeError: bad\n"},
        {"this is not javascript", "SyntaxError"},
        {"function f() { return f() + 1; } f()", "InternalError: too much recursion"}}) {
    seen.clear();
    EXPECT_EQ(context->evaluateScript(script), std::nullopt);
    EXPECT_TRUE(seen.starts_with(exception) && seen.find('\n') == seen.size() - 1) << seen;
  }
  EXPECT_EQ(evaluate(*context, "'still working'"), "still working");
}

// Contexts on many threads come and go well before their deadlines while the watchdog waits
// for the earliest one. Found by the page fuzzer: the watchdog read the deadline of a context
// already gone (AddressSanitizer reports it). Afterwards runaway scripts must still be stopped.
TEST(ScriptWatchdog, StopsRunawayScriptsAlsoAfterContextsEndedBeforeTheirDeadlines) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < 50; ++i) EXPECT_EQ(evaluate(*ScriptContext::create(5s), "6 * 7"), "42");
    });
  }
  for (std::thread& thread : threads) thread.join();
  // Should the limit never take effect, the alarm ends the process: the test fails, not hangs.
  auto context = ScriptContext::create(300ms);
  alarm(60);
  EXPECT_FALSE(context->evaluateScript("for (;;) {}").has_value());
  alarm(0);
  EXPECT_EQ(evaluate(*context, "'late'"), std::nullopt) << "no script starts past the deadline";
  // A conversion past its limit shows the fallback; the next one, in time, does not.
  const std::string text = "# Title\n\n*emphasis*\n";
  EXPECT_EQ(quillory::PreviewProviderInternals::markdownToHTML(text, {.timeLimit = 0ms}),
            "<pre>" + text + "</pre>");
  EXPECT_EQ(quillory::PreviewProviderInternals::markdownToHTML(text),
            "<h1>Title</h1>\n<p><em>emphasis</em></p>\n");
}

TEST(ScriptContext, ExhaustingTheHeapEndsTheScriptNotTheProcess) {
  auto context = ScriptContext::create(4s);
  EXPECT_FALSE(
      context->evaluateScript("var a = []; for (;;) a.push({ x: a.length });").has_value());
  context.reset();
  EXPECT_EQ(evaluate(*ScriptContext::create(10s), "'next'"), "next");
  // The script heap is capped well below what four seconds of allocation would take.
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  EXPECT_LT(usage.ru_maxrss, 1024 * 1024) << "peak resident KB";
}

}  // namespace
