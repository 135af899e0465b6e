// The directory tree that the harnesses which read image files work in.
#include "fixture_directory.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "platform/text.h"

namespace fuzzing {
namespace {

namespace fs = std::filesystem;

void write(const fs::path& file, std::string_view bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

FixtureDirectory make() {
  std::string pattern = (fs::temp_directory_path() / "quillory-fuzz-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  FixtureDirectory fixture;
  fixture.root = pattern;
  fixture.base = fixture.root / "base";
  fixture.outsideBytes = "OUTSIDE THE BASE DIRECTORY";
  fixture.outsideBase64 = platform::base64Encoded(fixture.outsideBytes);

  const fs::path& base = fixture.base;
  write(base / "a.png", "\x89PNG\r\n\x1A\n");
  write(base / "sub/b.gif", "GIF89a");
  write(base / "my photo.jpg", "\xFF\xD8\xFF");
  write(base / "100%.png", "percent");
  write(base / "a&amp;b.png", "ampersand");
  write(base / "empty.svg", "");
  fs::create_directories(base / "sub/folder.png");
  // Larger than any image may be, without taking up the space.
  write(base / "huge.png", "");
  fs::resize_file(base / "huge.png", 8'000'001);
  mkfifo((base / "fifo.png").c_str(), 0600);
  fs::create_symlink("a.png", base / "link-in.png");
  fs::create_symlink("../outside/secret.png", base / "link-out.png");
  fs::create_symlink("../outside", base / "linkdir");
  fs::create_symlink("loop.png", base / "loop.png");

  write(fixture.root / "outside/secret.png", fixture.outsideBytes);
  write(fixture.root / "base-sibling/x.png", fixture.outsideBytes);
  write(fixture.root / "top.png", fixture.outsideBytes);
  return fixture;
}

void removeFixture() {
  std::error_code ignored;
  fs::remove_all(fixtureDirectory().root, ignored);
}

}  // namespace

const FixtureDirectory& fixtureDirectory() {
  // Never destroyed, so the removal at exit can still read it.
  static const FixtureDirectory* fixture = [] {
    auto* made = new FixtureDirectory(make());
    std::atexit(removeFixture);
    return made;
  }();
  return *fixture;
}

std::string withRootPath(std::string text) {
  const std::string root = fixtureDirectory().root.string();
  for (size_t at = text.find("@ROOT@"); at != std::string::npos;
       at = text.find("@ROOT@", at + root.size())) {
    text.replace(at, 6, root);
  }
  return text;
}

}  // namespace fuzzing
