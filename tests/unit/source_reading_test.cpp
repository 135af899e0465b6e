// Reading the previewed file: the cap and its note, UTF-8 repair, read errors; file URL operations.
#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"
#include "provider_access.h"
#include "support/files.h"

namespace {

using platform::FileURL;

const std::string kNote = "\n\n> \xE2\x80\xA6 preview truncated (large file).";
const size_t kCap = 4000000;
const std::string kFFFD = "\xEF\xBF\xBD";

std::string readText(const std::filesystem::path& path) {
  return quillory::PreviewProviderInternals::readText(FileURL::fileURLWithPath(path.string()));
}

TEST(SourceReading, TextUpToTheCapWithUTF8RepairedAndTheNoteAfterACut) {
  testing_support::TempDir dir;
  const std::string text = "# Caf\xC3\xA9 \xF0\x9F\x98\x80\r\n\tline\0two", a(kCap, 'a');
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {text, text},
      {a, a},
      {a + "bc", a + kNote},
      // A cut inside a four-byte character: its first bytes become one U+FFFD.
      {std::string(kCap - 2, 'x') + "\xF0\x9F\x98\x80 tail",
       std::string(kCap - 2, 'x') + kFFFD + kNote},
      // One U+FFFD per maximal ill-formed subpart.
      {"caf\xE9 ok", "caf" + kFFFD + " ok"},
      {"a\xF0\x9F\x98z", "a" + kFFFD + "z"},
      {"\xC0\xAF", kFFFD + kFFFD},
      {"\xED\xA0\x80", kFFFD + kFFFD + kFFFD},
      {"\xEF\xBB\xBFhi", "\xEF\xBB\xBFhi"}};  // a byte-order mark is a character like any other
  for (const auto& [content, read] : cases) EXPECT_EQ(readText(dir.write("doc.md", content)), read);
  // /dev/zero never ends: the read must stop, and NUL bytes are valid text.
  EXPECT_EQ(readText("/dev/zero"), std::string(kCap, '\0') + kNote);
}

TEST(SourceReading, UnreadableFilesRaiseTheSystemError) {
  testing_support::TempDir dir;
  const auto file = dir.write("file.md", "x");
  std::filesystem::create_symlink("loop.md", dir.path() / "loop.md");
  for (auto [path, code] : {std::pair{dir.path() / "missing.md", ENOENT},
                            {dir.path(), EISDIR},
                            {file / "below.md", ENOTDIR},
                            {dir.path() / "loop.md", ELOOP}}) {
    try {
      readText(path);
      ADD_FAILURE() << "no error for " << path;
    } catch (const platform::FileReadError& error) {
      EXPECT_EQ(std::pair(error.path(), error.code().value()), std::pair(path.string(), code));
    }
  }
}

TEST(FileURL, DirectoriesResolutionStandardizationAndExtensions) {
  const std::string cwd = std::filesystem::current_path().string();
  const FileURL base = FileURL::fileURLWithPath("/docs/guide");
  const std::pair<std::string, std::string> cases[] = {
      {FileURL::fileURLWithPath("/a/b/c.md").deletingLastPathComponent().path(), "/a/b"},
      {FileURL::fileURLWithPath("/c.md").deletingLastPathComponent().path(), "/"},
      {FileURL::fileURLWithPath("/a/b/").deletingLastPathComponent().path(), "/a"},
      {FileURL::fileURLWithPath("notes.md").deletingLastPathComponent().path(), cwd},
      {FileURL::fileURLWithPath("pics/a.png", base).path(), "/docs/guide/pics/a.png"},
      {FileURL::fileURLWithPath("/etc/a.png", base).path(), "/etc/a.png"},
      {FileURL::fileURLWithPath("/a/../../b.png").standardized().path(), "/b.png"},
      {FileURL::fileURLWithPath("/a/...").standardized().path(), "/a/..."},
      {FileURL::fileURLWithPath("/a/photo.JPG").pathExtension(), "JPG"},
      {FileURL::fileURLWithPath("/a/archive.tar.gz").pathExtension(), "gz"},
      {FileURL::fileURLWithPath("/a.d/README").pathExtension(), ""},
      {FileURL::fileURLWithPath("/a/.png").pathExtension(), "png"},  // all extension
      {FileURL::fileURLWithPath("/a/trailing.").pathExtension(), ""},
      // The same on path text as typed, relative or not.
      {platform::lastPathComponent("docs/a.md//"), "a.md"},
      {platform::deletingLastPathComponent("docs/sub/a.md"), "docs/sub"},
      {platform::deletingLastPathComponent("a.md"), "."},
      {platform::replacingPathExtension("d.x/README", "html"), "d.x/README.html"},
      {platform::replacingPathExtension("d/.md", "html"), "d/.md.html"},
      {platform::replacingPathExtension("d/a.b.md", "html"), "d/a.b.html"}};
  for (const auto& [found, expected] : cases) EXPECT_EQ(found, expected);
}

}  // namespace
