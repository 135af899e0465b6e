// The request flow: replies, errors and the completion, through the executor.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "platform/files.h"
#include "platform/process.h"
#include "preview/preview_provider.h"
#include "support/files.h"

namespace {

using namespace std::chrono_literals;
using testing_support::TempDir;

struct Outcome {
  std::optional<platform::PreviewReply> reply;
  std::exception_ptr error;
  std::thread::id thread;
};

// A future for the request's first completion; `calls` counts them all.
std::future<Outcome> request(const std::filesystem::path& file, std::atomic<int>& calls) {
  auto promise = std::make_shared<std::promise<Outcome>>();
  auto future = promise->get_future();
  quillory::PreviewProvider().providePreviewForFileRequest(
      {platform::FileURL::fileURLWithPath(file.string())},
      [promise, &calls](std::optional<platform::PreviewReply> reply, std::exception_ptr error) {
        if (++calls == 1) promise->set_value({std::move(reply), error, std::this_thread::get_id()});
      });
  return future;
}

// Errors through the completion: the concurrency stress test (FileReadError with its path).
TEST(RequestFlow, ReplyIsHTMLOfThePreferredSizeOnAnotherThreadOnce) {
  TempDir dir;
  for (const char* bytes : {"", "# Title \xE2\x9C\x93\n", "\xFF\xFE binary"}) {
    std::atomic<int> calls = 0;
    Outcome outcome = request(dir.write("doc.md", bytes), calls).get();
    EXPECT_NE(outcome.thread, std::this_thread::get_id());
    ASSERT_TRUE(outcome.reply.has_value() && !outcome.error);
    EXPECT_EQ(outcome.reply->contentSize.width, 900);
    EXPECT_EQ(outcome.reply->contentSize.height, 700);
    EXPECT_TRUE(outcome.reply->data->starts_with("<!DOCTYPE html>"));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(calls, 1);
  }
}

TEST(RequestFlow, RequestsDoNotWaitForOneAnother) {
  if (platform::Executor::global().threadCount() < 2) GTEST_SKIP() << "one worker thread only";
  TempDir dir;
  // Reading a FIFO blocks until a writer comes: the first request stays busy.
  const auto fifo = dir.path() / "slow.md";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::atomic<int> slowCalls = 0, quickCalls = 0;
  auto slow = request(fifo, slowCalls);
  auto quick = request(dir.write("quick.md", "quick"), quickCalls);
  EXPECT_EQ(quick.wait_for(30s), std::future_status::ready);
  EXPECT_EQ(slow.wait_for(0s), std::future_status::timeout);
  const int writer = open(fifo.c_str(), O_WRONLY);
  ASSERT_EQ(write(writer, "*slow*", 6), 6);
  close(writer);
  Outcome outcome = slow.get();
  ASSERT_TRUE(outcome.reply.has_value());
  EXPECT_NE(outcome.reply->data->find("<em>slow</em>"), std::string::npos);
}

}  // namespace
