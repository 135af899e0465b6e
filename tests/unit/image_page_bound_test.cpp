// The bound on what one page embeds: 64 MiB of data: URIs, filled in the order of the
// fragment; each file read once per page, however often it is shown.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "provider_access.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using quillory::PreviewProviderInternals;

constexpr size_t kPageRoom = 64 * 1024 * 1024;
constexpr size_t kLargestImage = 8'000'000;
const std::string kPngURIStart = "data:image/png;base64,";

size_t occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

std::string imageTags(const std::string& source, int count) {
  std::string html;
  for (int i = 0; i < count; ++i) html += "<img src=\"" + source + "\">";
  return html;
}

// Images of the largest size, as sparse files: they cost no disk.
void writeLargestImage(const testing_support::TempDir& dir, const std::string& name) {
  dir.write(name, "");
  fs::resize_file(dir.path() / name, kLargestImage);
}

std::string inlined(const std::string& html, const testing_support::TempDir& dir) {
  return PreviewProviderInternals::inlineLocalImages(
      html, platform::FileURL::fileURLWithPath(dir.path().string()));
}

// Counts the times files in a directory are opened while it lives.
class OpenCounter {
 public:
  explicit OpenCounter(const fs::path& directory) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    inotify_add_watch(fd_, directory.c_str(), IN_OPEN);
  }
  ~OpenCounter() { close(fd_); }
  int opensOf(const std::string& name) {
    alignas(inotify_event) char buffer[65536];
    for (ssize_t length; (length = read(fd_, buffer, sizeof buffer)) > 0;) {
      for (ssize_t at = 0; at < length;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (event->len > 0) ++opens_[event->name];
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    return opens_[name];
  }

 private:
  int fd_;
  std::map<std::string, int> opens_;
};

TEST(ImagePageBound, FirstImagesFillThePageThenSourcesStay) {
  testing_support::TempDir dir;
  writeLargestImage(dir, "large.png");
  dir.write("small.png", "\x89PNG");
  // Six copies of the largest image fit in the page; a seventh does not, the small image
  // after it still does.
  const std::string html = imageTags("large.png", 10) + imageTags("small.png", 1);
  const std::string page = inlined(html, dir);

  const size_t largeURI = kPngURIStart.size() + (kLargestImage + 2) / 3 * 4;
  ASSERT_LE(6 * largeURI, kPageRoom);
  ASSERT_GT(7 * largeURI, kPageRoom);
  EXPECT_EQ(occurrences(page, kPngURIStart), 7u);
  EXPECT_EQ(occurrences(page, "src=\"large.png\""), 4u);
  EXPECT_TRUE(page.starts_with("<img src=\"" + kPngURIStart + "AAAA"));
  EXPECT_TRUE(
      page.ends_with(imageTags("large.png", 4) + "<img src=\"" + kPngURIStart + "iVBORw==\">"));
  EXPECT_LE(page.size(), html.size() + kPageRoom);
}

TEST(ImagePageBound, AThousandShowingsOfOneImageReadItOnce) {
  testing_support::TempDir dir;
  writeLargestImage(dir, "large.png");
  dir.write("icon.png", "\x89PNG");
  fs::create_symlink("icon.png", dir.path() / "alias.jpg");
  OpenCounter counter(dir.path());

  const std::string page = inlined(imageTags("large.png", 1000), dir);
  EXPECT_EQ(occurrences(page, kPngURIStart), 6u);
  EXPECT_EQ(counter.opensOf("large.png"), 1);

  // Another name for the same file shares its encoding, with the media type of its name.
  const std::string icons = inlined(imageTags("icon.png", 3) + imageTags("alias.jpg", 2), dir);
  EXPECT_EQ(icons, imageTags(kPngURIStart + "iVBORw==", 3) +
                       imageTags("data:image/jpeg;base64,iVBORw==", 2));
  EXPECT_EQ(counter.opensOf("icon.png"), 1);
}

}  // namespace
