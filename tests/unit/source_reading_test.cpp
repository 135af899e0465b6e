// Reading the previewed file: the cap and its note, UTF-8 repair, and read errors.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/files.h"
#include "provider_access.h"
#include "support/temp_dir.h"

namespace {

using quillory::PreviewProviderInternals;
using testing_support::TempDir;

const std::string kNote = "\n\n> \xE2\x80\xA6 preview truncated (large file).";
const size_t kCap = 4000000;

std::string readText(const std::filesystem::path& path) {
  return PreviewProviderInternals::readText(platform::FileURL::fileURLWithPath(path.string()));
}

int readErrorOf(const std::filesystem::path& path) {
  try {
    readText(path);
  } catch (const platform::FileReadError& error) {
    EXPECT_EQ(error.path(), path.string());
    return error.code().value();
  }
  ADD_FAILURE() << "no error for " << path;
  return 0;
}

TEST(SourceReading, TextUpToTheCapComesThroughWhole) {
  TempDir dir;
  EXPECT_EQ(readText(dir.write("empty.md", "")), "");
  const std::string text = "# Caf\xC3\xA9 \xF0\x9F\x98\x80\r\n\tline\0two";
  EXPECT_EQ(readText(dir.write("text.md", text)), text);
  const std::string full(kCap, 'a');
  EXPECT_EQ(readText(dir.write("full.md", full)), full);
}

TEST(SourceReading, LongerFilesAreCutAtTheCapWithTheNote) {
  EXPECT_EQ(kNote.size(), 39u);
  TempDir dir;
  std::string longer(kCap, 'a');
  longer += "bc";
  EXPECT_EQ(readText(dir.write("long.md", longer)), std::string(kCap, 'a') + kNote);

  // The cut falls inside a four-byte character: its first bytes become one U+FFFD.
  std::string split(kCap - 2, 'x');
  split += "\xF0\x9F\x98\x80 tail";
  EXPECT_EQ(readText(dir.write("split.md", split)),
            std::string(kCap - 2, 'x') + "\xEF\xBF\xBD" + kNote);
}

TEST(SourceReading, EndlessFilesAreReadOnlyUpToTheCap) {
  // /dev/zero never ends: the read must stop, and NUL bytes are valid text.
  EXPECT_EQ(readText("/dev/zero"), std::string(kCap, '\0') + kNote);
}

TEST(SourceReading, BytesThatAreNotUTF8BecomeReplacementCharacters) {
  TempDir dir;
  EXPECT_EQ(readText(dir.write("latin1.md", "caf\xE9 ok")), "caf\xEF\xBF\xBD ok");
  // One U+FFFD per maximal ill-formed subpart: a truncated sequence is one, bytes that
  // can never start or continue a sequence are one each, an encoded surrogate is three.
  EXPECT_EQ(readText(dir.write("truncated.md", "a\xF0\x9F\x98z")), "a\xEF\xBF\xBDz");
  EXPECT_EQ(readText(dir.write("overlong.md", "\xC0\xAF")), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(readText(dir.write("surrogate.md", "\xED\xA0\x80")),
            "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
  // A byte-order mark is a character like any other.
  EXPECT_EQ(readText(dir.write("bom.md", "\xEF\xBB\xBFhi")), "\xEF\xBB\xBFhi");
}

TEST(SourceReading, UnreadableFilesRaiseTheSystemError) {
  TempDir dir;
  EXPECT_EQ(readErrorOf(dir.path() / "missing.md"), ENOENT);
  EXPECT_EQ(readErrorOf(dir.path()), EISDIR);
  std::filesystem::path file = dir.write("file.md", "x");
  EXPECT_EQ(readErrorOf(file / "below.md"), ENOTDIR);
  std::filesystem::create_symlink("loop.md", dir.path() / "loop.md");
  EXPECT_EQ(readErrorOf(dir.path() / "loop.md"), ELOOP);
  if (geteuid() != 0) {  // root reads whatever the mode says
    chmod(file.c_str(), 0);
    EXPECT_EQ(readErrorOf(file), EACCES);
  }
}

}  // namespace
