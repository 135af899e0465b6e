// Many requests in flight at once: each completion called once, with the page or error the
// request gets alone (the nonce aside, which is never shared).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <set>

#include "platform/files.h"
#include "preview/preview_provider.h"
#include "support/files.h"
#include "support/page.h"

namespace {

namespace fs = std::filesystem;
constexpr int kRequestsInFlight = 64;

struct Outcome {  // the page with its nonce masked, or the path that could not be read
  std::string page, nonce, unreadablePath;
  bool operator==(const Outcome& other) const {
    return page == other.page && unreadablePath == other.unreadablePath;
  }
};

Outcome outcomeOf(std::optional<platform::PreviewReply>& reply, std::exception_ptr error) {
  Outcome outcome;
  if (error) {
    try {
      std::rethrow_exception(error);
    } catch (const platform::FileReadError& failure) {
      outcome.unreadablePath = failure.path();
    } catch (...) {
      outcome.unreadablePath = "(not a file read error)";
    }
    return outcome;
  }
  outcome.page = *reply->data;
  outcome.nonce = testing_support::nonceOf(outcome.page);
  for (size_t at;
       !outcome.nonce.empty() && (at = outcome.page.find(outcome.nonce)) != std::string::npos;) {
    outcome.page.replace(at, outcome.nonce.size(), "NONCE");
  }
  return outcome;
}

TEST(ConcurrencyStress, RequestsInFlightTogetherGetTheirOwnPages) {
  testing_support::TempDir dir;
  std::string large;
  for (int i = 0; i < 4000; ++i) {
    large += "## Section " + std::to_string(i) + "\n\nSome *text* with `code` and a [link](x).\n\n";
  }
  dir.write("pic.png", "\x89PNG\r\n\x1A\n");
  fs::create_symlink("nowhere.md", dir.path() / "dangling.md");
  fs::create_symlink("loop.md", dir.path() / "loop.md");
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
      dir.path(),
      dir.path() / "dangling.md",
      dir.path() / "loop.md"};
  const auto requestFor = [&](size_t i) {
    return platform::FilePreviewRequest{
        platform::FileURL::fileURLWithPath(files[i % files.size()].string())};
  };
  const quillory::PreviewProvider provider;

  // All at once, first, so that one-time set-ups meet concurrent first uses.
  std::vector<std::shared_ptr<std::atomic<int>>> calls;
  std::vector<std::future<Outcome>> together;
  for (int i = 0; i < kRequestsInFlight; ++i) {
    auto promise = std::make_shared<std::promise<Outcome>>();
    calls.push_back(std::make_shared<std::atomic<int>>(0));
    together.push_back(promise->get_future());
    provider.providePreviewForFileRequest(
        requestFor(i), [promise, count = calls.back()](std::optional<platform::PreviewReply> reply,
                                                       std::exception_ptr error) {
          if (++*count == 1) promise->set_value(outcomeOf(reply, error));
        });
  }
  for (auto& outcome : together) {
    ASSERT_EQ(outcome.wait_for(std::chrono::seconds(300)), std::future_status::ready);
  }

  // Each file alone, one after the other.
  std::vector<Outcome> alone;
  for (size_t i = 0; i < files.size(); ++i) {
    std::optional<platform::PreviewReply> reply;
    std::exception_ptr error;
    try {
      reply.emplace(provider.providePreview(requestFor(i)));
    } catch (...) {
      error = std::current_exception();
    }
    alone.push_back(outcomeOf(reply, error));
  }
  std::set<std::string> nonces;
  for (int i = 0; i < kRequestsInFlight; ++i) {
    const Outcome outcome = together[i].get();
    EXPECT_EQ(*calls[i], 1) << "request " << i;
    EXPECT_TRUE(outcome == alone[i % files.size()])
        << "request " << i << " for " << files[i % files.size()];
    EXPECT_TRUE(!outcome.unreadablePath.empty() || nonces.insert(outcome.nonce).second)
        << "nonce reused: " << outcome.nonce;
  }
  // The mix is what it is meant to be.
  EXPECT_NE(alone[2].page.find("<h2>Section 3999</h2>"), std::string::npos);
  EXPECT_NE(alone[3].page.find("<math"), std::string::npos);
  EXPECT_NE(alone[4].page.find("data:image/png;base64,"), std::string::npos);
  EXPECT_EQ(alone[8].unreadablePath, files[8].string());
}

}  // namespace
