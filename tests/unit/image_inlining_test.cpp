// Local image inlining: which img sources become data: URIs and which stay; the 64 MiB
// bound on one page; each file read once per page; media types by extension.
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
#include <string>
#include <thread>

#include "platform/text.h"
#include "provider_access.h"
#include "support/files.h"

namespace quillory {
namespace {

namespace fs = std::filesystem;
using testing_support::occurrences;

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
  void writeLargestImage(const std::string& name) const {
    fs::resize_file(write(name, ""), kLargestImage);
  }
  // With `withoutOpenat2`, on a thread of its own that the kernel refuses openat2.
  std::string inlined(const std::string& html, bool withoutOpenat2 = false,
                      std::optional<fs::path> directory = {}) const {
    const auto render = [&] {
      return PreviewProviderInternals::inlineLocalImages(
          html, platform::FileURL::fileURLWithPath(directory.value_or(base()).string()));
    };
    if (!withoutOpenat2) return render();
    return std::async(std::launch::async,
                      [&] {
                        if (!refuseOpenat2ToThisThread()) ADD_FAILURE() << "no seccomp filter";
                        return render();
                      })
        .get();
  }

  testing_support::TempDir dir_;
};

TEST_F(ImageInlining, EmbedsRegularFilesInsideTheBaseDirectoryOnly) {
  for (const char* name : {"a.png", "sub/b.png", "other/a.png", "my photo.png", "100%.png",
                           "%FF.png", "\xE5\x86\x99.png", "a&amp;b.png", "b.png?v=2", "blob.xyz",
                           "noextension", "photo.JPG", "DATA:a.png", "CiD:a.png", "HTTP:/x.png",
                           "Https:/x.png", "file:a.png", "assets/img/a.png"}) {
    write(name);
  }
  for (const char* name : {"a%2", "a&b.png"}) write(name, kOutsideBytes);
  for (const char* name : {"a.png", "doc-other/a.png", "secret.png"}) {
    dir_.write(name, kOutsideBytes);
  }
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

  const std::string octets = "data:application/octet-stream;base64,";
  const std::string b = base().string();
  const std::pair<std::string, std::string> cases[] = {
      // source, URI ("": left as it is)
      {"sub/../a.png", kInsidePng},
      {"./sub//b.png", kInsidePng},
      {b + "/a.png", kInsidePng},
      {"/" + b + "/a.png", kInsidePng},
      {"../a.png", ""},
      {"..%2Fa.png", ""},
      {"sub/../../a.png", ""},
      {"../doc-other/a.png", ""},
      {"//host/a.png", ""},
      {(dir_.path() / "a.png").string(), ""},
      // Percent-decoded where that works, else taken as written.
      {"my%20photo.png", kInsidePng},
      {"100%.png", kInsidePng},
      {"%FF.png", kInsidePng},
      {"%e5%86%99.png", kInsidePng},
      {"a%2", octets + "c2VjcmV0"},
      {"a.png%00.txt", ""},
      // Queries, fragments and character references are part of the name.
      {"a.png?v=2", ""},
      {"a.png#top", ""},
      {"b.png?v=2", octets + "iVBORw=="},
      {"a&amp;b.png", kInsidePng},
      // Inline and remote sources in any letter case; no other scheme is known.
      {"DATA:a.png", ""},
      {"CiD:a.png", ""},
      {"HTTP://x.png", ""},
      {"Https://x.png", ""},
      {"file:a.png", kInsidePng},
      // Media types by extension, sizes up to eight million bytes.
      {"photo.JPG", "data:image/jpeg;base64,iVBORw=="},
      {"blob.xyz", octets + "iVBORw=="},
      {"noextension", octets + "iVBORw=="},
      {"empty.png", kPng},
      {"limit.gif", "data:image/gif;base64," + platform::base64Encoded(limit)},
      {"over.gif", ""},
      // Missing files, directories and FIFOs.
      {"missing.png", ""},
      {"sub", ""},
      {".", ""},
      {"sub/", ""},
      {"pipe.png", ""},
      // Symbolic links, followed only while they stay inside.
      {"img/a.png", kInsidePng},
      {"alias.png", kInsidePng},
      {"absolute.png", kInsidePng},
      {"logo.png", ""},
      {"up/secret.png", ""},
      {"sibling.png", ""}};
  for (bool withoutOpenat2 : {false, true}) {
    for (const auto& [source, uri] : cases) {
      EXPECT_EQ(inlined(imageTags(source), withoutOpenat2), imageTags(uri.empty() ? source : uri))
          << source << (withoutOpenat2 ? " without openat2" : "");
    }
    EXPECT_EQ(inlined(imageTags("img/a.png"), withoutOpenat2, dir_.path() / "doc-link"),
              imageTags(kInsidePng));
  }
  // Nothing lies below the root directory; a base that is gone holds nothing.
  EXPECT_EQ(inlined(imageTags(b + "/a.png"), false, "/"), imageTags(b + "/a.png"));
  EXPECT_EQ(inlined(imageTags("a.png"), false, dir_.path() / "gone"), imageTags("a.png"));
  // /dev/null reads as an empty file and /dev/zero runs on without end.
  for (std::string device : {"null", "zero", "urandom"}) {
    EXPECT_EQ(inlined(imageTags(device), false, "/dev"), imageTags(device));
  }
}

TEST_F(ImageInlining, ReplacesOnlyTheFirstSourceValueOfMatchingTags) {
  write("a.png");
  write("photo.JPG");
  write("it's.png");
  const std::string p = kInsidePng, e = "\xC3\xA9 ", cjk = "\xE5\x86\x99 1.png";
  write(cjk);
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
      if (inlined(html, withoutOpenat2).find(outsideBase64) != std::string::npos) {
        ADD_FAILURE() << "embedded a file outside in round " << round
                      << (withoutOpenat2 ? " without openat2" : "");
        break;
      }
    }
    done = true;
    swapper.join();
  }
}

TEST_F(ImageInlining, FirstImagesFillThePageThenSourcesStay) {
  writeLargestImage("large.png");
  write("small.png");
  // Six copies of the largest image fit in the page, a seventh does not, the small one after does.
  const std::string html = imageTags("large.png", 10) + imageTags("small.png");
  const std::string page = inlined(html);
  const size_t largeURI = kPng.size() + (kLargestImage + 2) / 3 * 4, pageRoom = 64 << 20;
  ASSERT_TRUE(6 * largeURI <= pageRoom && 7 * largeURI > pageRoom);
  EXPECT_EQ(occurrences(page, kPng), 7u);
  EXPECT_TRUE(page.starts_with("<img src=\"" + kPng + "AAAA"));
  EXPECT_TRUE(page.ends_with(imageTags("large.png", 4) + imageTags(kInsidePng)));
}

TEST_F(ImageInlining, AThousandShowingsOfOneImageReadItOnce) {
  writeLargestImage("large.png");
  write("icon.png");
  fs::create_symlink("icon.png", base() / "alias.jpg");
  testing_support::OpenCounter counter({base()});
  EXPECT_EQ(occurrences(inlined(imageTags("large.png", 1000)), kPng), 6u);
  EXPECT_EQ(counter.opensOf("large.png"), 1);
  // Another name for the same file shares its encoding, with the media type of its name.
  EXPECT_EQ(inlined(imageTags("icon.png", 3) + imageTags("alias.jpg", 2)),
            imageTags(kInsidePng, 3) + imageTags("data:image/jpeg;base64,iVBORw==", 2));
  EXPECT_EQ(counter.opensOf("icon.png"), 1);
}

TEST(MediaTypes, ByExtensionInAnyLetterCase) {
  for (auto [extension, mediaType] : {std::pair{"png", "image/png"},
                                      {"JpEg", "image/jpeg"},
                                      {"SVG", "image/svg+xml"},
                                      {"avif", "image/avif"},
                                      {"svgz", "application/octet-stream"},
                                      {".png", "application/octet-stream"},
                                      {"", "application/octet-stream"}}) {
    EXPECT_EQ(PreviewProviderInternals::mimeType(extension), mediaType) << extension;
  }
}

}  // namespace
}  // namespace quillory
