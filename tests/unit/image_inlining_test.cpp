// Local image inlining: which img sources become data: URIs, and which stay as written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <future>
#include <string>
#include <thread>

#include "platform/text.h"
#include "provider_access.h"
#include "support/temp_dir.h"

namespace quillory {
namespace {

namespace fs = std::filesystem;
using Internals = PreviewProviderInternals;

constexpr std::string_view kInsideBytes = "\x89PNG";  // base64 "iVBORw=="
constexpr std::string_view kOutsideBytes = "secret";
const std::string kInsidePng = "data:image/png;base64,iVBORw==";

// Makes the kernel refuse openat2 to the calling thread as a kernel without it does.
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

// The previewed document's directory is doc/ inside a temporary directory, so files
// just outside it can exist too.
class ImageInliningTest : public ::testing::Test {
 protected:
  fs::path base() const { return dir_.path() / "doc"; }
  fs::path write(const std::string& relativeToBase, std::string_view bytes = kInsideBytes) const {
    return dir_.write("doc/" + relativeToBase, bytes);
  }
  fs::path writeOutside(const std::string& relativeToTemp) const {
    return dir_.write(relativeToTemp, kOutsideBytes);
  }
  std::string inlined(const std::string& html) const { return inlinedBelow(html, base()); }
  // With `withoutOpenat2_`, on a thread of its own that the kernel refuses openat2.
  std::string inlinedBelow(const std::string& html, const fs::path& directory) const {
    const auto render = [&] {
      return Internals::inlineLocalImages(html,
                                          platform::FileURL::fileURLWithPath(directory.string()));
    };
    if (!withoutOpenat2_) return render();
    return std::async(std::launch::async,
                      [&] {
                        if (!refuseOpenat2ToThisThread()) ADD_FAILURE() << "no seccomp filter";
                        return render();
                      })
        .get();
  }
  void expectUnchanged(const std::string& html) const { EXPECT_EQ(inlined(html), html) << html; }
  void expectEmbedded(const std::string& source, const std::string& uri = kInsidePng) const {
    EXPECT_EQ(inlined("<img src=\"" + source + "\">"), "<img src=\"" + uri + "\">") << source;
  }

  testing_support::TempDir dir_;
  bool withoutOpenat2_ = false;
};

TEST_F(ImageInliningTest, FragmentsWithoutImageTagsComeBackUnchanged) {
  write("a.png");
  expectUnchanged("");
  expectUnchanged("<p>No pictures here.</p>");
  expectUnchanged(Internals::escapedPre("<img src=\"a.png\">"));
}

TEST_F(ImageInliningTest, ReplacesOnlyTheSourceValueOfLocalImages) {
  write("pics/a.png");
  write("photo.JPG");
  EXPECT_EQ(inlined("<p>x <img src=\"pics/a.png\" alt=\"A\"> y</p>"),
            "<p>x <img src=\"" + kInsidePng + "\" alt=\"A\"> y</p>");
  EXPECT_EQ(inlined("<IMG ALT=x SRC='photo.JPG'>"),
            "<IMG ALT=x SRC='data:image/jpeg;base64,iVBORw=='>");
  EXPECT_EQ(inlined("<img src=\"pics/a.png'>"), "<img src=\"" + kInsidePng + "'>");
  EXPECT_EQ(inlined("<img\nsrc=\"pics/a.png\"/>"), "<img\nsrc=\"" + kInsidePng + "\"/>");
}

TEST_F(ImageInliningTest, LeavesInlineAndRemoteSourcesAloneInAnyLetterCase) {
  // Files exist under each of these names, so only the prefix test keeps them unread.
  for (std::string name : {"data:a.png", "DATA:a.png", "cid:a.png", "CiD:a.png", "http:/x.png",
                           "HTTP:/x.png", "https:/x.png", "Https:/x.png"}) {
    write(name);
  }
  for (std::string source : {"data:a.png", "DATA:a.png", "cid:a.png", "CiD:a.png", "http://x.png",
                             "HTTP://x.png", "https://x.png", "Https://x.png"}) {
    expectUnchanged("<img src=\"" + source + "\">");
  }
  write("file:a.png");
  expectEmbedded("file:a.png");  // no other scheme is recognised
}

TEST_F(ImageInliningTest, EmbedsOnlyFilesInsideTheBaseDirectory) {
  write("a.png");
  write("sub/b.png");
  writeOutside("a.png");
  writeOutside("doc-other/a.png");
  expectEmbedded("sub/../a.png");
  expectEmbedded("./sub//b.png");
  expectEmbedded(base().string() + "/a.png");
  expectEmbedded("/" + base().string() + "/a.png");  // two slashes: still a path
  for (std::string source : std::initializer_list<std::string>{
           "../a.png", "..%2Fa.png", "sub/../../a.png", "../doc-other/a.png", "//host/a.png",
           (dir_.path() / "a.png").string()}) {
    expectUnchanged("<img src=\"" + source + "\">");
  }
}

TEST_F(ImageInliningTest, PercentDecodesSourcesAndFallsBackToTheRawText) {
  write("my photo.png");
  write("100%.png");
  write("%FF.png");
  write("\xE5\x86\x99.png");
  write("a.png");
  expectEmbedded("my%20photo.png");
  expectEmbedded("100%.png");  // "%.p" is no escape: the source is the path
  expectEmbedded("%FF.png");   // byte FF is not UTF-8: likewise
  expectEmbedded("%e5%86%99.png");
  write("a%2", kOutsideBytes);
  expectEmbedded("a%2", "data:application/octet-stream;base64,c2VjcmV0");
  expectUnchanged("<img src=\"a.png%00.txt\">");  // no file name holds a NUL byte
}

TEST_F(ImageInliningTest, TakesQueriesFragmentsAndCharacterReferencesLiterally) {
  write("a.png");
  write("b.png?v=2");
  write("a&amp;b.png");
  write("a&b.png", kOutsideBytes);
  expectUnchanged("<img src=\"a.png?v=2\">");
  expectUnchanged("<img src=\"a.png#top\">");
  expectEmbedded("b.png?v=2", "data:application/octet-stream;base64,iVBORw==");
  expectEmbedded("a&amp;b.png");
}

TEST_F(ImageInliningTest, EmbedsFilesOfAtMostEightMillionBytes) {
  const std::string limit(8'000'000, 'x');
  write("limit.gif", limit);
  write("over.gif", limit + "x");
  write("empty.png", "");
  write("blob.xyz");
  write("noextension");
  expectEmbedded("limit.gif", "data:image/gif;base64," + platform::base64Encoded(limit));
  expectUnchanged("<img src=\"over.gif\">");
  expectEmbedded("empty.png", "data:image/png;base64,");
  expectEmbedded("blob.xyz", "data:application/octet-stream;base64,iVBORw==");
  expectEmbedded("noextension", "data:application/octet-stream;base64,iVBORw==");
}

TEST_F(ImageInliningTest, ReplacesEveryMatchAndOnlyTheFirstSrcOfATag) {
  write("a.png");
  write("b.png", kOutsideBytes);
  EXPECT_EQ(inlined("<img src=\"a.png\"> and <img src=\"a.png\">"),
            "<img src=\"" + kInsidePng + "\"> and <img src=\"" + kInsidePng + "\">");
  EXPECT_EQ(inlined("<img data-src=\"a.png\" src=\"b.png\">"),
            "<img data-src=\"" + kInsidePng + "\" src=\"b.png\">");
}

TEST_F(ImageInliningTest, LeavesTagsTheImagePatternDoesNotMatch) {
  write("a.png");
  write("it's.png");
  for (std::string html : {"<img srcset=\"a.png\">", "<img src=a.png>", "<img src = \"a.png\">",
                           "<img alt=\"1 > 0\" src=\"a.png\">", "<img src=\"it's.png\">",
                           "<imgx src=\"a.png\">", "<img\xC3\xA9 src=\"a.png\">"}) {
    expectUnchanged(html);
  }
}

TEST_F(ImageInliningTest, KeepsNonAsciiTextAndNamesIntact) {
  write("\xD1\x84\xD0\xBE\xD1\x82\xD0\xBE.png");  // фото.png
  write("\xE5\x86\x99\xE7\x9C\x9F 1.png");        // 写真 1.png
  const std::string before = "\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80\xF0\x9F\x8E\x89 ";
  EXPECT_EQ(inlined(before + "<img src=\"\xD1\x84\xD0\xBE\xD1\x82\xD0\xBE.png\"> \xC3\xA9 " +
                    "<img src='\xE5\x86\x99\xE7\x9C\x9F 1.png'> \xF0\x9F\x91\x8D"),
            before + "<img src=\"" + kInsidePng + "\"> \xC3\xA9 <img src='" + kInsidePng +
                "'> \xF0\x9F\x91\x8D");
}

TEST_F(ImageInliningTest, LeavesMissingFilesDirectoriesAndTheRootBaseAlone) {
  write("sub/a.png");
  for (std::string source : {"missing.png", "sub", ".", "sub/"}) {
    expectUnchanged("<img src=\"" + source + "\">");
  }
  const std::string absolute = "<img src=\"" + (base() / "sub/a.png").string() + "\">";
  EXPECT_EQ(inlinedBelow(absolute, "/"), absolute);
  EXPECT_EQ(inlinedBelow("<img src=\"a.png\">", dir_.path() / "gone"), "<img src=\"a.png\">");
}

TEST_F(ImageInliningTest, FollowsSymbolicLinksOnlyWhileTheyStayInside) {
  write("assets/img/a.png");
  writeOutside("secret.png");
  fs::create_directory_symlink("assets/img", base() / "img");
  fs::create_symlink("assets/img/a.png", base() / "alias.png");
  fs::create_symlink(base() / "assets/img/a.png", base() / "absolute.png");
  fs::create_symlink(dir_.path() / "secret.png", base() / "logo.png");
  fs::create_directory_symlink("..", base() / "up");
  fs::create_directory_symlink("doc", dir_.path() / "doc-link");
  for (bool withoutOpenat2 : {false, true}) {
    withoutOpenat2_ = withoutOpenat2;
    expectEmbedded("img/a.png");
    expectEmbedded("alias.png");
    expectEmbedded("absolute.png");
    expectUnchanged("<img src=\"logo.png\">");
    expectUnchanged("<img src=\"up/secret.png\">");
    EXPECT_EQ(inlinedBelow("<img src=\"img/a.png\">", dir_.path() / "doc-link"),
              "<img src=\"" + kInsidePng + "\">");
  }
}

// A thread swaps a directory of images for a link to a directory outside that holds files
// of the same names, over and over, while pages are built: whenever a swap falls, no page
// embeds a file from outside.
TEST_F(ImageInliningTest, SwappingADirectoryForALinkOutsideNeverEmbedsAFileOutside) {
  std::string html;
  for (int i = 0; i < 400; ++i) {
    const std::string name = std::to_string(i) + ".png";
    write("pics/" + name);
    writeOutside("outside/" + name);
    html += "<img src=\"pics/" + name + "\">";
  }
  fs::create_directory_symlink("../outside", base() / "swap");
  const std::string pics = base() / "pics", swap = base() / "swap";
  const auto exchange = [&] {
    return renameat2(AT_FDCWD, pics.c_str(), AT_FDCWD, swap.c_str(), RENAME_EXCHANGE) == 0;
  };
  ASSERT_TRUE(exchange()) << "the file system cannot exchange names";
  const std::string outsideBase64 = platform::base64Encoded(kOutsideBytes);
  for (bool withoutOpenat2 : {false, true}) {
    withoutOpenat2_ = withoutOpenat2;
    std::atomic<bool> done = false;
    std::thread swapper([&] {
      for (int i = 0; i < 1'000'000 && !done; ++i) exchange();
    });
    for (int round = 0; round < 20; ++round) {
      if (inlined(html).find(outsideBase64) != std::string::npos) {
        ADD_FAILURE() << "embedded a file outside in round " << round
                      << (withoutOpenat2 ? " without openat2" : "");
        break;
      }
    }
    done = true;
    swapper.join();
  }
}

TEST_F(ImageInliningTest, ReadsNoFifoOrDevice) {
  const fs::path fifo = base() / "pipe.png";
  fs::create_directories(base());
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string html = "<img src=\"pipe.png\">";
  auto result = std::async(std::launch::async, [&] { return inlined(html); });
  if (result.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
    ADD_FAILURE() << "inlining waited on a FIFO";
    close(open(fifo.c_str(), O_WRONLY | O_NONBLOCK));  // a writer's close ends the wait
  }
  EXPECT_EQ(result.get(), html);

  // /dev/null reads as an empty file and /dev/zero runs on without end.
  for (std::string device : {"null", "zero", "urandom"}) {
    const std::string tag = "<img src=\"" + device + "\">";
    EXPECT_EQ(inlinedBelow(tag, "/dev"), tag);
  }
}

}  // namespace
}  // namespace quillory
