// Local image inlining: which sources become data: URIs, the 64 MiB page bound, one read per
// file, media types; finding sources as a plain scan with the image pattern does, in linear time.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <future>
#include <random>
#include <string>
#include <thread>

#include "images/image_sources.h"
#include "platform/text.h"
#include "provider_access.h"
#include "support/files.h"

namespace quillory {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kInsideBytes = "\x89PNG";  // base64 "iVBORw=="
constexpr std::string_view kOutsideBytes = "secret";
const std::string kPng = "data:image/png;base64,";
const std::string kInsidePng = kPng + "iVBORw==";
constexpr size_t kLargestImage = 8'000'000;

// Makes the kernel refuse openat2 to the calling thread, as a kernel without it does.
bool refuseOpenat2ToThisThread() {
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat2, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  const sock_fprog program{std::size(filter), filter};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

std::string imageTags(const std::string& source, int count = 1) {
  std::string html;
  for (int i = 0; i < count; ++i) html += "<img src=\"" + source + "\">";
  return html;
}

// The base directory is doc/ in a temporary directory, so files just outside it can exist.
class ImageInlining : public ::testing::Test {
 protected:
  fs::path base() const { return dir_.path() / "doc"; }
  fs::path write(const std::string& relativeToBase, std::string_view bytes = kInsideBytes) const {
    return dir_.write("doc/" + relativeToBase, bytes);
  }
  // With `withoutOpenat2`, on a thread of its own that the kernel refuses openat2.
  std::string inlined(const std::string& html, bool withoutOpenat2 = false,
                      std::optional<fs::path> directory = {}) const {
    const auto render = [&] {
      if (withoutOpenat2 && !refuseOpenat2ToThisThread()) ADD_FAILURE() << "no seccomp filter";
      return PreviewProviderInternals::inlineLocalImages(
          html, platform::FileURL::fileURLWithPath(directory.value_or(base()).string()));
    };
    return withoutOpenat2 ? std::async(std::launch::async, render).get() : render();
  }

  testing_support::TempDir dir_;
};

TEST_F(ImageInlining, EmbedsRegularFilesInsideTheBaseDirectoryOnly) {
  for (const char* name :
       {"a.png",           "sub/b.png",        "other/a.png", "my photo.png", "100%.png",
        "%FF.png",         "\xE5\x86\x99.png", "a&amp;b.png", "b.png?v=2",    "blob.xyz",
        "noextension",     "photo.JPG",        "x.SVG",       "x.avif",       "x.svgz",
        "DATA:a.png",      "CiD:a.png",        "HTTP:/x.png", "Https:/x.png", "file:a.png",
        "assets/img/a.png"})
    write(name);
  for (const char* name : {"a%2", "a&b.png"}) write(name, kOutsideBytes);
  for (const char* name : {"a.png", "doc-other/a.png", "secret.png"})
    dir_.write(name, kOutsideBytes);
  const std::string limit(kLargestImage, 'x');
  write("limit.gif", limit);
  write("over.gif", limit + "x");
  write("empty.png", "");
  ASSERT_EQ(mkfifo((base() / "pipe.png").c_str(), 0600), 0);  // a read would wait for ever
  fs::create_directory_symlink("assets/img", base() / "img");
  fs::create_symlink("assets/img/a.png", base() / "alias.png");
  fs::create_symlink(base() / "assets/img/a.png", base() / "absolute.png");
  fs::create_symlink(dir_.path() / "secret.png", base() / "logo.png");
  fs::create_symlink("../doc-other/a.png", base() / "sibling.png");  // its real path: doc-other/...
  fs::create_directory_symlink("..", base() / "up");
  fs::create_directory_symlink("doc", dir_.path() / "doc-link");

  const std::string b = base().string(), outside = dir_.path() / "a.png";
  const std::string octets = "data:application/octet-stream;base64,";
  // Embedded: paths that stay inside, also through links; percent-decoded where that works,
  // else taken as written; character references are part of the name; file: is a plain path.
  const std::string embedded[] = {
      "sub/../a.png", "./sub//b.png", b + "/a.png",    "/" + b + "/a.png", "my%20photo.png",
      "100%.png",     "%FF.png",      "%e5%86%99.png", "a&amp;b.png",      "file:a.png",
      "img/a.png",    "alias.png",    "absolute.png"};
  // Left as written: paths and links leading outside; queries and fragments, part of the name;
  // inline and remote sources in any letter case; files too large or missing, directories, FIFOs.
  const std::string left[] = {
      "../a.png",      "..%2Fa.png", "sub/../../a.png", "../doc-other/a.png", "//host/a.png",
      outside,         "logo.png",   "up/secret.png",   "sibling.png",        "a.png%00.txt",
      "a.png?v=2",     "a.png#top",  "DATA:a.png",      "CiD:a.png",          "HTTP://x.png",
      "Https://x.png", "over.gif",   "missing.png",     "pipe.png",           "sub/"};
  // Media types by extension, sizes up to eight million bytes.
  std::vector<std::pair<std::string, std::string>> cases = {
      {"a%2", octets + "c2VjcmV0"},
      {"b.png?v=2", octets + "iVBORw=="},
      {"photo.JPG", "data:image/jpeg;base64,iVBORw=="},
      {"x.SVG", "data:image/svg+xml;base64,iVBORw=="},
      {"x.avif", "data:image/avif;base64,iVBORw=="},
      {"x.svgz", octets + "iVBORw=="},
      {"blob.xyz", octets + "iVBORw=="},
      {"noextension", octets + "iVBORw=="},
      {"empty.png", kPng},
      {"limit.gif", "data:image/gif;base64," + platform::base64Encoded(limit)}};
  for (const std::string& source : embedded) cases.emplace_back(source, kInsidePng);
  for (const std::string& source : left) cases.emplace_back(source, source);
  for (const char* directory : {"sub", "."}) cases.emplace_back(directory, directory);
  for (bool withoutOpenat2 : {false, true}) {
    for (const auto& [source, uri] : cases) {
      EXPECT_EQ(inlined(imageTags(source), withoutOpenat2), imageTags(uri))
          << source << (withoutOpenat2 ? " without openat2" : "");
    }
    EXPECT_EQ(inlined(imageTags("img/a.png"), withoutOpenat2, dir_.path() / "doc-link"),
              imageTags(kInsidePng));
  }
  // Nothing lies below the root directory; a base that is gone holds nothing.
  EXPECT_EQ(inlined(imageTags(b + "/a.png"), false, "/"), imageTags(b + "/a.png"));
  EXPECT_EQ(inlined(imageTags("a.png"), false, dir_.path() / "gone"), imageTags("a.png"));
  // /dev/null reads as an empty file and /dev/zero runs on without end.
  for (std::string device : {"null", "zero", "urandom"})
    EXPECT_EQ(inlined(imageTags(device), false, "/dev"), imageTags(device));
}

TEST_F(ImageInlining, ReplacesOnlyTheFirstSourceValueOfMatchingTags) {
  const std::string p = kInsidePng, e = "\xC3\xA9 ", cjk = "\xE5\x86\x99 1.png";
  for (const char* name : {"a.png", "photo.JPG", "it's.png", cjk.c_str()}) write(name);
  const std::pair<std::string, std::string> cases[] = {
      {"<p>x <img src=\"a.png\" alt=\"A\"> y</p>", "<p>x <img src=\"" + p + "\" alt=\"A\"> y</p>"},
      {"<IMG ALT=x SRC='photo.JPG'>", "<IMG ALT=x SRC='data:image/jpeg;base64,iVBORw=='>"},
      {"<img src=\"a.png'>", "<img src=\"" + p + "'>"},
      {"<img\nsrc=\"a.png\"/>", "<img\nsrc=\"" + p + "\"/>"},
      {"<img src=\"a.png\"> and <img src=\"a.png\">", imageTags(p) + " and " + imageTags(p)},
      {"<img data-src=\"a.png\" src=\"b.png\">", "<img data-src=\"" + p + "\" src=\"b.png\">"},
      {e + "\xF0\x9F\x98\x80<img src='" + cjk + "'> " + e,
       e + "\xF0\x9F\x98\x80<img src='" + p + "'> " + e}};
  for (const auto& [html, expected] : cases) EXPECT_EQ(inlined(html), expected) << html;
  for (std::string html :
       {"", "<p>No pictures</p>", "<pre>&lt;img src=\"a.png\"&gt;</pre>", "<img srcset=\"a.png\">",
        "<img src=a.png>", "<img src = \"a.png\">", "<img alt=\"1 > 0\" src=\"a.png\">",
        "<img src=\"it's.png\">", "<imgx src=\"a.png\">", "<img\xC3\xA9 src=\"a.png\">"}) {
    EXPECT_EQ(inlined(html), html);
  }
}

// A thread swaps a directory of images for a link to a directory outside that holds files
// of the same names, over and over, while pages are built: whenever a swap falls, no page
// embeds a file from outside.
TEST_F(ImageInlining, SwappingADirectoryForALinkOutsideNeverEmbedsAFileOutside) {
  std::string html;
  for (int i = 0; i < 400; ++i) {
    const std::string name = std::to_string(i) + ".png";
    write("pics/" + name);
    dir_.write("outside/" + name, kOutsideBytes);
    html += imageTags("pics/" + name);
  }
  fs::create_directory_symlink("../outside", base() / "swap");
  const std::string pics = base() / "pics", swap = base() / "swap";
  const auto exchange = [&] {
    return renameat2(AT_FDCWD, pics.c_str(), AT_FDCWD, swap.c_str(), RENAME_EXCHANGE) == 0;
  };
  ASSERT_TRUE(exchange()) << "the file system cannot exchange names";
  const std::string outsideBase64 = platform::base64Encoded(kOutsideBytes);
  for (bool withoutOpenat2 : {false, true}) {
    std::atomic<bool> done = false;
    std::thread swapper([&] {
      for (int i = 0; i < 1'000'000 && !done; ++i) exchange();
    });
    for (int round = 0; round < 20; ++round) {
      EXPECT_EQ(inlined(html, withoutOpenat2).find(outsideBase64), std::string::npos)
          << "embedded a file outside in round " << round
          << (withoutOpenat2 ? " without openat2" : "");
    }
    done = true;
    swapper.join();
  }
}

TEST_F(ImageInlining, FirstImagesFillThePageAndEachFileIsReadOnce) {
  fs::resize_file(write("large.png", ""), kLargestImage);
  write("icon.png");
  fs::create_symlink("icon.png", base() / "alias.jpg");
  testing_support::OpenCounter counter({base()});
  // Six copies of the largest image fit in the page, a seventh does not, small ones after do;
  // another name for the same file shares its encoding, with the media type of its name.
  const std::string page =
      inlined(imageTags("large.png", 1000) + imageTags("icon.png", 3) + imageTags("alias.jpg", 2));
  const std::string large = kPng + platform::base64Encoded(std::string(kLargestImage, '\0'));
  EXPECT_TRUE(page == imageTags(large, 6) + imageTags("large.png", 994) + imageTags(kInsidePng, 3) +
                          imageTags("data:image/jpeg;base64,iVBORw==", 2))
      << page.size() << " bytes";  // 64 MiB and more: too long to print
  EXPECT_EQ(counter.counts(), (std::map<std::string, int>{{"icon.png", 1}, {"large.png", 1}}));
}

using Ranges = std::vector<std::pair<size_t, size_t>>;  // (location, length) of each source

Ranges sourcesFound(const std::string& html) {
  Ranges sources;
  const std::vector<platform::TextRange> found = imageSourceRanges(html).value();
  for (const platform::TextRange& range : found) sources.emplace_back(range.location, range.length);
  return sources;
}

Ranges sourcesByPlainScan(const std::string& html) {
  auto search = platform::RegexSearch::compile(kImagePattern, html, {.caseInsensitive = true});
  Ranges sources;
  const std::vector<platform::RegexMatch> matches = search->allMatches().value();
  for (const platform::RegexMatch& match : matches)
    sources.emplace_back(match[2].location, match[2].length);
  return sources;
}

TEST(ImageSources, AgreeWithAPlainScanOnRandomFragments) {
  // Weighted towards the pieces of a match, so most fragments hold matching and other tags.
  const std::vector<std::string> pieces = {
      "<img ", "<img ",  "<IMG\n",      "<imgx ",    "<img", " ",        "src=\"",
      "src='", "SRC=\"", "data-src=\"", "srcset=\"", "src=", "\"",       "\"",
      "'",     ">",      "a.png",       "a.png",     "it's", "\xC3\xA9", "\xF0\x9F\x98\x80"};
  std::mt19937 random(20240611);
  std::uniform_int_distribution<size_t> piece(0, pieces.size() - 1);
  std::uniform_int_distribution<int> length(0, 30);
  int withSeveralMatches = 0;
  for (int round = 0; round < 5000; ++round) {
    std::string html;
    for (int n = length(random); n > 0; --n) html += pieces[piece(random)];
    const auto expected = sourcesByPlainScan(html);
    withSeveralMatches += expected.size() >= 2;
    EXPECT_EQ(sourcesFound(html), expected) << html;
  }
  EXPECT_GT(withSeveralMatches, 400);
}

TEST(ImageSources, RunsOfTagsWithoutClosingBracketAreScannedOnce) {
  // A plain scan reads to the end from every "<img": hours for this size; ctest's timeout guards.
  std::string html = "<div>\n";
  while (html.size() < 2'000'000) html += "<img alt ";
  html += "> <img src=\"a.png\">";
  EXPECT_EQ(sourcesFound(html), (Ranges{{html.size() - 7, 5}}));  // a.png
}

}  // namespace
}  // namespace quillory
