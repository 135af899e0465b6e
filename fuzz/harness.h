// What the harnesses share: asserting a property, and a tree of images and files no page may read.
#pragma once

#include <sys/stat.h>

#include <cstdio>

#include "platform/file_url.h"
#include "platform/text.h"
#include "support/files.h"

namespace fuzzing {

// A trap, not abort(): the engine's library replaces abort() with a crash that hides the cause.
inline void require(bool holds, const char* property, const std::string& detail = "") {
  if (holds) return;
  std::fprintf(stderr, "property violated: %s%s\n", property, detail.c_str());
  __builtin_trap();
}

// A base directory with images, links and special files, and files outside it.
struct FixtureDirectory {
  testing_support::TempDir root;  // holds base/ and the files outside it
  std::filesystem::path base = root.path() / "base";
  platform::FileURL baseURL = platform::FileURL::fileURLWithPath(base.string());

  FixtureDirectory() {
    namespace fs = std::filesystem;
    root.write("base/a.png", "\x89PNG\r\n\x1A\n");
    root.write("base/sub/b.gif", "GIF89a");
    root.write("base/my photo.jpg", "\xFF\xD8\xFF");
    root.write("base/100%.png", "percent");
    root.write("base/a&amp;b.png", "ampersand");
    root.write("base/empty.svg", "");
    fs::resize_file(root.write("base/huge.png", ""), 8'000'001);  // larger than any image may be
    fs::create_directories(base / "sub/folder.png");
    mkfifo((base / "fifo.png").c_str(), 0600);
    fs::create_symlink("a.png", base / "link-in.png");
    fs::create_symlink("../outside/secret.png", base / "link-out.png");
    fs::create_symlink("../outside", base / "linkdir");
    fs::create_symlink("loop.png", base / "loop.png");
    for (const char* name : {"outside/secret.png", "base-sibling/x.png", "top.png"}) {
      root.write(name, "OUTSIDE THE BASE DIRECTORY");
    }
  }

  // The input as text, "@ROOT@" standing for the root's path.
  std::string document(const uint8_t* data, size_t size) const {
    std::string text = platform::decodeUTF8Leniently({reinterpret_cast<const char*>(data), size});
    for (size_t at = 0; (at = text.find("@ROOT@", at)) != std::string::npos; at += 6) {
      text.replace(at, 6, root.path().string());
    }
    return text;
  }

  // What `work` returns; traps if it opened a file outside the base directory.
  template <typename Work>
  std::string openingNothingOutside(Work work) const {
    testing_support::OpenCounter opens(
        {root.path(), root.path() / "outside", root.path() / "base-sibling"});
    std::string result = work();
    const auto opened = opens.counts();
    require(opened.empty(), "nothing outside the base directory is opened: ",
            opened.empty() ? "" : opened.begin()->first);
    return result;
  }
};

inline const FixtureDirectory& fixtureDirectory() {
  static const FixtureDirectory fixture;
  return fixture;
}

}  // namespace fuzzing
