// The script engine layer: values, exceptions, isolation between contexts, and limits.
#include "platform/script_context.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <future>

#include "provider_access.h"

namespace {

using namespace std::chrono_literals;
using platform::ScriptContext;

std::optional<std::string> evaluate(ScriptContext& context, const std::string& script) {
  auto value = context.evaluateScript(script);
  return value ? value->toString() : std::nullopt;
}

// Restores the default time limit when a test is done with its own.
struct TimeLimit {
  explicit TimeLimit(std::chrono::milliseconds limit) { ScriptContext::setTimeLimit(limit); }
  ~TimeLimit() { ScriptContext::setTimeLimit(10s); }
};

TEST(ScriptContext, CompletionValuesAndTheirStringForms) {
  auto context = ScriptContext::create();
  ASSERT_TRUE(context);
  EXPECT_EQ(evaluate(*context, "'a' + 'b'"), "ab");
  EXPECT_EQ(evaluate(*context, "null"), "null");
  EXPECT_EQ(evaluate(*context, "6 * 7"), "42");
  EXPECT_EQ(evaluate(*context, "var x = 1;"), "undefined");
  EXPECT_EQ(evaluate(*context, "({ toString() { throw 1; } })"), std::nullopt);
  context->setGlobal("TEXT", std::string_view("caf\xC3\xA9\0!", 7));
  context->setGlobal("FLAG", true);
  EXPECT_EQ(evaluate(*context, "typeof FLAG + ':' + FLAG + ':' + TEXT.length"), "boolean:true:6");
}

TEST(ScriptContext, ExceptionsGoToTheHandlerAndAreCleared) {
  auto context = ScriptContext::create();
  std::vector<std::string> seen;
  context->setExceptionHandler([&seen](ScriptContext&, const platform::ScriptValue& exception) {
    seen.push_back(exception.toString().value_or("?"));
  });
  EXPECT_EQ(context->evaluateScript("throw new TypeError('bad')"), std::nullopt);
  EXPECT_EQ(context->evaluateScript("this is not javascript"), std::nullopt);
  EXPECT_EQ(context->evaluateScript("function f() { return f() + 1; } f()"), std::nullopt);
  EXPECT_EQ(evaluate(*context, "'still working'"), "still working");
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0], "TypeError: bad");
  EXPECT_TRUE(seen[1].starts_with("SyntaxError")) << seen[1];
  EXPECT_TRUE(seen[2].starts_with("InternalError: too much recursion")) << seen[2];
}

TEST(ScriptContext, ContextsShareNothing) {
  auto first = ScriptContext::create();
  EXPECT_EQ(evaluate(*first, "var shared = 1; Array.prototype.leak = 2; 'set'"), "set");
  first.reset();
  auto second = ScriptContext::create();
  EXPECT_EQ(evaluate(*second, "typeof shared + ' ' + typeof [].leak"), "undefined undefined");
}

TEST(ScriptContext, RunawayScriptsAreStoppedAtTheTimeLimit) {
  TimeLimit limit(300ms);
  // A thread of its own, so a watchdog that never fires fails the test instead of hanging it.
  auto outcome = std::async(std::launch::async, [] {
    auto context = ScriptContext::create();
    bool loopFinished = context->evaluateScript("for (;;) {}").has_value();
    return std::pair(loopFinished, evaluate(*context, "'late'"));
  });
  ASSERT_EQ(outcome.wait_for(60s), std::future_status::ready) << "the script was never stopped";
  auto [loopFinished, late] = outcome.get();
  EXPECT_FALSE(loopFinished);
  EXPECT_EQ(late, std::nullopt) << "no script starts past the deadline";
}

TEST(ScriptContext, ExhaustingTheHeapEndsTheScriptNotTheProcess) {
  TimeLimit limit(4s);
  auto outcome = std::async(std::launch::async, [] {
    auto context = ScriptContext::create();
    bool finished = context->evaluateScript("var a = []; for (;;) a.push({ x: a.length });")
                        .has_value();
    context.reset();
    auto next = ScriptContext::create();
    return std::pair(finished, evaluate(*next, "'next'"));
  });
  ASSERT_EQ(outcome.wait_for(120s), std::future_status::ready);
  auto [finished, next] = outcome.get();
  EXPECT_FALSE(finished);
  EXPECT_EQ(next, "next");
  // The script heap is capped well below what four seconds of allocation would take.
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  EXPECT_LT(usage.ru_maxrss, 1024 * 1024) << "peak resident KB";
}

TEST(ScriptContext, ConversionPastItsTimeLimitShowsTheFallback) {
  const std::string text = "# Title\n\n*emphasis*\n";
  {
    TimeLimit limit(0ms);
    EXPECT_EQ(quillory::PreviewProviderInternals::markdownToHTML(text),
              "<pre># Title\n\n*emphasis*\n</pre>");
  }
  EXPECT_EQ(quillory::PreviewProviderInternals::markdownToHTML(text),
            "<h1>Title</h1>\n<p><em>emphasis</em></p>\n");
}

}  // namespace
