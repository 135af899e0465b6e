// File URL operations: directories, resolution, standardization and extensions.
#include "platform/file_url.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using platform::FileURL;

TEST(FileURL, ContainingDirectory) {
  EXPECT_EQ(FileURL::fileURLWithPath("/a/b/c.md").deletingLastPathComponent().path(), "/a/b");
  EXPECT_EQ(FileURL::fileURLWithPath("/c.md").deletingLastPathComponent().path(), "/");
  EXPECT_EQ(FileURL::fileURLWithPath("/a/b/").deletingLastPathComponent().path(), "/a");
  const std::string cwd = std::filesystem::current_path().string();
  FileURL relative = FileURL::fileURLWithPath("notes.md");
  EXPECT_EQ(relative.path(), cwd + "/notes.md");
  EXPECT_EQ(relative.deletingLastPathComponent().path(), cwd);
}

TEST(FileURL, ResolutionBelowADirectory) {
  FileURL base = FileURL::fileURLWithPath("/docs/guide");
  EXPECT_EQ(FileURL::fileURLWithPath("pics/a.png", base).path(), "/docs/guide/pics/a.png");
  EXPECT_EQ(FileURL::fileURLWithPath("/etc/a.png", base).path(), "/etc/a.png");
  EXPECT_EQ(FileURL::fileURLWithPath("//host/a.png", base).standardized().path(), "/host/a.png");
}

TEST(FileURL, StandardizationWorksOnTheText) {
  auto standardized = [](const char* path) {
    return FileURL::fileURLWithPath(path).standardized().path();
  };
  EXPECT_EQ(standardized("/a/./b//c/"), "/a/b/c");
  EXPECT_EQ(standardized("/a/sub/../b.png"), "/a/b.png");
  EXPECT_EQ(standardized("/a/../../b.png"), "/b.png");
  EXPECT_EQ(standardized("/.."), "/");
  EXPECT_EQ(standardized("/a/..."), "/a/...");
}

TEST(FileURL, PathExtension) {
  auto extension = [](const char* path) { return FileURL::fileURLWithPath(path).pathExtension(); };
  EXPECT_EQ(extension("/a/photo.JPG"), "JPG");
  EXPECT_EQ(extension("/a/archive.tar.gz"), "gz");
  EXPECT_EQ(extension("/a.d/README"), "");
  EXPECT_EQ(extension("/a/.png"), "png");  // a name that is all extension
  EXPECT_EQ(extension("/a/trailing."), "");
}

}  // namespace
