// The watchdog under churn: contexts on many threads come and go well before their
// deadlines while the watchdog waits for the earliest one. Found by the page fuzzer: the
// watchdog read the deadline of a context already gone (AddressSanitizer reports it).
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "platform/script_context.h"

namespace {

using namespace std::chrono_literals;
using platform::ScriptContext;

struct TimeLimit {
  explicit TimeLimit(std::chrono::milliseconds limit) { ScriptContext::setTimeLimit(limit); }
  ~TimeLimit() { ScriptContext::setTimeLimit(10s); }
};

TEST(ScriptWatchdog, ContextsEndingBeforeTheirDeadlinesLeaveItWorking) {
  {
    TimeLimit limit(5s);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([] {
        for (int i = 0; i < 50; ++i) {
          auto context = ScriptContext::create();
          ASSERT_TRUE(context);
          auto value = context->evaluateScript("6 * 7");
          ASSERT_TRUE(value.has_value());
          EXPECT_EQ(value->toString(), "42");
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
  }

  // Afterwards a runaway script is still stopped at its limit.
  TimeLimit limit(200ms);
  auto stopped = std::async(std::launch::async, [] {
    return !ScriptContext::create()->evaluateScript("for (;;) {}").has_value();
  });
  ASSERT_EQ(stopped.wait_for(60s), std::future_status::ready) << "the script was never stopped";
  EXPECT_TRUE(stopped.get());
}

}  // namespace
