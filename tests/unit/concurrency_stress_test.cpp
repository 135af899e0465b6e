// Many preview requests in flight at once on the executor: each completion is called
// exactly once, with its own request's page or error, and every page equals the one that
// request gets when it runs alone (the nonce aside).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"
#include "preview/preview_provider.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr int kRequestsInFlight = 64;

// What one request came back with: the page with its nonce masked, or the path of the
// file that could not be read.
struct Outcome {
  std::string page;
  std::string nonce;
  std::string unreadablePath;
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
  const std::string marker = "'nonce-";
  const size_t at = outcome.page.find(marker);
  if (at == std::string::npos) return outcome;
  outcome.nonce = outcome.page.substr(at + marker.size(), 24);
  for (size_t found = outcome.page.find(outcome.nonce); found != std::string::npos;
       found = outcome.page.find(outcome.nonce, found)) {
    outcome.page.replace(found, outcome.nonce.size(), "NONCE");
  }
  return outcome;
}

// Documents of mixed sizes and kinds, and names that cannot be read.
std::vector<fs::path> documents(const testing_support::TempDir& dir) {
  std::string large;
  for (int i = 0; i < 4000; ++i) {
    large += "## Section " + std::to_string(i) + "\n\nSome *text* with `code` and a [link](x).\n\n";
  }
  dir.write("pic.png", "\x89PNG\r\n\x1A\n");
  std::vector<fs::path> files = {
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
  };
  fs::create_symlink("nowhere.md", dir.path() / "dangling.md");
  files.push_back(dir.path() / "dangling.md");
  fs::create_symlink("loop.md", dir.path() / "loop.md");
  files.push_back(dir.path() / "loop.md");
  return files;
}

platform::FilePreviewRequest requestFor(const fs::path& file) {
  return {platform::FileURL::fileURLWithPath(file.string())};
}

TEST(ConcurrencyStress, RequestsInFlightTogetherGetTheirOwnPages) {
  testing_support::TempDir dir;
  const std::vector<fs::path> files = documents(dir);
  const quillory::PreviewProvider provider;

  // All at once, first, so that one-time set-ups meet concurrent first uses: request i
  // previews files[i % files.size()].
  // Shared with the completions, so that even one arriving after a failed wait finds it.
  struct Completions {
    std::mutex mutex;
    std::condition_variable allDone;
    int finished = 0;
    std::vector<std::atomic<int>> calls = std::vector<std::atomic<int>>(kRequestsInFlight);
    std::vector<Outcome> outcomes = std::vector<Outcome>(kRequestsInFlight);
  };
  auto completions = std::make_shared<Completions>();
  for (int i = 0; i < kRequestsInFlight; ++i) {
    provider.providePreviewForFileRequest(
        requestFor(files[i % files.size()]),
        [completions, i](std::optional<platform::PreviewReply> reply, std::exception_ptr error) {
          if (++completions->calls[i] != 1) return;
          Outcome outcome = outcomeOf(reply, error);
          std::lock_guard lock(completions->mutex);
          completions->outcomes[i] = std::move(outcome);
          if (++completions->finished == kRequestsInFlight) completions->allDone.notify_one();
        });
  }
  {
    std::unique_lock lock(completions->mutex);
    // A hang guard, far beyond what the requests need.
    ASSERT_TRUE(completions->allDone.wait_for(
        lock, 300s, [&] { return completions->finished == kRequestsInFlight; }))
        << completions->finished << " of " << kRequestsInFlight << " requests completed";
  }
  const std::vector<Outcome>& together = completions->outcomes;

  // Each file alone, one after the other.
  std::vector<Outcome> alone;
  for (const fs::path& file : files) {
    std::optional<platform::PreviewReply> reply;
    std::exception_ptr error;
    try {
      reply.emplace(provider.providePreview(requestFor(file)));
    } catch (...) {
      error = std::current_exception();
    }
    alone.push_back(outcomeOf(reply, error));
  }

  std::set<std::string> nonces;
  for (int i = 0; i < kRequestsInFlight; ++i) {
    const Outcome& expected = alone[i % files.size()];
    EXPECT_EQ(completions->calls[i], 1) << "request " << i;
    EXPECT_TRUE(together[i] == expected) << "request " << i << " for " << files[i % files.size()];
    if (expected.unreadablePath.empty()) {
      EXPECT_TRUE(nonces.insert(together[i].nonce).second) << "nonce reused: " << together[i].nonce;
    }
  }
  // The mix is what it is meant to be.
  EXPECT_NE(alone[2].page.find("<h2>Section 3999</h2>"), std::string::npos);
  EXPECT_NE(alone[3].page.find("<math"), std::string::npos);
  EXPECT_NE(alone[4].page.find("data:image/png;base64,"), std::string::npos);
  EXPECT_EQ(alone[8].unreadablePath, files[8].string());
}

}  // namespace
