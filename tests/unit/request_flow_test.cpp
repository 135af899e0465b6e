// Requests through the executor: one completion each, on a worker, with the page it gets alone.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <future>
#include <set>
#include <thread>

#include "platform/files.h"
#include "provider_access.h"
#include "support/files.h"
#include "support/page.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
constexpr int kRequestsInFlight = 64;

struct Outcome {
  std::string result;  // the size and body of the page, or the path that could not be read
  std::string nonce;
};

// A future for the request's first completion; `calls` counts them all.
std::future<Outcome> request(const fs::path& file, std::atomic<int>& calls) {
  auto promise = std::make_shared<std::promise<Outcome>>();
  auto future = promise->get_future();
  quillory::PreviewProvider().providePreviewForFileRequest(
      {platform::FileURL::fileURLWithPath(file.string())},
      [promise, &calls, caller = std::this_thread::get_id()](platform::PreviewOutcome answer) {
        if (++calls != 1) return;
        Outcome outcome;
        if (const auto* failure = std::get_if<platform::PreviewFailure>(&answer)) {
          outcome.result = "unreadable " + failure->file + ": " + std::to_string(failure->error) +
                           " " + failure->message;
        } else {
          const auto& reply = std::get<platform::PreviewReply>(answer);
          const std::string& page = *reply.data;
          // The reply names the nonce its page's stylesheet carries.
          outcome.nonce = testing_support::nonceOf(page) == reply.nonce ? reply.nonce : "";
          outcome.result =
              (std::this_thread::get_id() == caller ? "on the caller's thread " : "") +
              std::to_string(reply.contentSize.width) + "x" +
              std::to_string(reply.contentSize.height) + ": " +
              testing_support::bodyOfPage(page, quillory::PreviewProviderInternals::cssSource())
                  .value_or("(no page)");
        }
        promise->set_value(outcome);
      });
  return future;
}

TEST(ConcurrencyStress, RequestsInFlightTogetherGetTheirOwnPages) {
  testing_support::TempDir dir;
  std::string large;
  for (int i = 0; i < 4000; ++i)
    large += "## Section " + std::to_string(i) + "\n\nSome *text* with `code` and a [link](x).\n\n";
  dir.write("pic.png", "\x89PNG\r\n\x1A\n");
  const std::vector<fs::path> files = {
      dir.write("empty.md", ""),
      dir.write("short.md", "# Title\n\nA paragraph.\n"),
      dir.write("large.md", large),
      dir.write("math.md",
                "Inline $x^2$ and\n\n$$\n\\int_0^1 f(x)\\,dx\n$$\n\ncosts $5 and $10.\n"),
      dir.write("image.md", "![picture](pic.png) and ![missing](nothing.png)\n"),
      dir.write("table.md", "| a | b |\n|---|---|\n| 1 | 2 |\n\n- [x] done\n- [ ] open\n"),
      dir.write("latin1.md", "caf\xE9 cr\xE8me\n"),
      dir.write("front.md", "---\ntitle: t\n---\n# After\n"),
      dir.path() / "missing.md",
      dir.path()};
  // All at once, first, so that one-time set-ups meet concurrent first uses.
  std::vector<std::atomic<int>> calls(kRequestsInFlight), callsAlone(files.size());
  std::vector<std::future<Outcome>> together;
  for (int i = 0; i < kRequestsInFlight; ++i)
    together.push_back(request(files[i % files.size()], calls[i]));
  for (auto& outcome : together) ASSERT_EQ(outcome.wait_for(300s), std::future_status::ready);
  std::vector<Outcome> alone;
  for (size_t i = 0; i < files.size(); ++i) alone.push_back(request(files[i], callsAlone[i]).get());
  std::this_thread::sleep_for(50ms);  // time for a second completion, if one came
  std::set<std::string> nonces;
  for (int i = 0; i < kRequestsInFlight; ++i) {
    const Outcome outcome = together[i].get();
    EXPECT_EQ(calls[i], 1) << "request " << i;
    EXPECT_EQ(outcome.result, alone[i % files.size()].result) << "request " << i;
    EXPECT_TRUE(outcome.result.starts_with("unreadable") || nonces.insert(outcome.nonce).second)
        << "nonce reused: " << outcome.nonce;
  }
  EXPECT_EQ(alone[1].result, "900x700: <h1>Title</h1>\n<p>A paragraph.</p>\n");
  EXPECT_NE(alone[2].result.find("<h2>Section 3999</h2>"), std::string::npos);
  EXPECT_NE(alone[3].result.find("<math"), std::string::npos);
  EXPECT_NE(alone[4].result.find("data:image/png;base64,"), std::string::npos);
  EXPECT_EQ(alone[6].result, "900x700: <p>caf\xEF\xBF\xBD cr\xEF\xBF\xBDme</p>\n");
  EXPECT_EQ(alone[8].result, "unreadable " + files[8].string() + ": " + std::to_string(ENOENT) +
                                 " No such file or directory");
}

TEST(RequestFlow, RequestsDoNotWaitForOneAnother) {
  if (platform::Executor::global().threadCount() < 2) GTEST_SKIP() << "one worker thread only";
  testing_support::TempDir dir;
  // Reading a FIFO blocks until a writer comes: the first request stays busy.
  const auto fifo = dir.path() / "slow.md";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::atomic<int> slowCalls = 0, quickCalls = 0;
  auto slow = request(fifo, slowCalls);
  auto quick = request(dir.write("quick.md", "quick"), quickCalls);
  EXPECT_EQ(quick.wait_for(30s), std::future_status::ready);
  EXPECT_EQ(slow.wait_for(0s), std::future_status::timeout);
  std::ofstream(fifo) << "*slow*";
  EXPECT_EQ(slow.get().result, "900x700: <p><em>slow</em></p>\n");
}

}  // namespace
