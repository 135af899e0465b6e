// What the harnesses share: asserting a property, undoing the fallback's escaping, the image tree.
#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <optional>
#include <string>

#include "platform/text.h"
#include "support/files.h"

namespace fuzzing {

// A trap, not abort(): the engine's library replaces abort() with a crash that hides the cause.
inline void require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property violated: %s\n", property);
  __builtin_trap();
}

// The text the fallback escaped into `escaped`; nothing for a "<", ">" or any other "&".
inline std::optional<std::string> unescaped(std::string_view escaped) {
  std::string text;
  for (size_t i = 0; i < escaped.size(); ++i) {
    const std::string_view rest = escaped.substr(i);
    if (rest[0] == '<' || rest[0] == '>') return std::nullopt;
    if (rest[0] != '&') {
      text += rest[0];
    } else if (rest.starts_with("&amp;") || rest.starts_with("&lt;") || rest.starts_with("&gt;")) {
      text += rest[1] == 'a' ? '&' : rest[1] == 'l' ? '<' : '>';
      i = escaped.find(';', i);
    } else {
      return std::nullopt;
    }
  }
  return text;
}

// A base directory with images, links and special files, and files outside it no page may read.
struct FixtureDirectory {
  testing_support::TempDir root;  // holds base/ and the files outside it
  std::filesystem::path base = root.path() / "base";
  std::string outsideBytes = "OUTSIDE THE BASE DIRECTORY";
  std::string outsideBase64 = platform::base64Encoded(outsideBytes);

  FixtureDirectory() {
    namespace fs = std::filesystem;
    for (auto [name, bytes] : {std::pair{"a.png", "\x89PNG\r\n\x1A\n"},
                               {"sub/b.gif", "GIF89a"},
                               {"my photo.jpg", "\xFF\xD8\xFF"},
                               {"100%.png", "percent"},
                               {"a&amp;b.png", "ampersand"},
                               {"empty.svg", ""},
                               {"huge.png", ""}}) {
      root.write(std::string("base/") + name, bytes);
    }
    fs::create_directories(base / "sub/folder.png");
    fs::resize_file(base / "huge.png", 8'000'001);  // larger than any image may be
    mkfifo((base / "fifo.png").c_str(), 0600);
    fs::create_symlink("a.png", base / "link-in.png");
    fs::create_symlink("../outside/secret.png", base / "link-out.png");
    fs::create_symlink("../outside", base / "linkdir");
    fs::create_symlink("loop.png", base / "loop.png");
    for (const char* name : {"outside/secret.png", "base-sibling/x.png", "top.png"}) {
      root.write(name, outsideBytes);
    }
  }
  testing_support::OpenCounter watchOutside() const {
    return testing_support::OpenCounter(
        {root.path(), root.path() / "outside", root.path() / "base-sibling"});
  }
  // "@ROOT@" in an input stands for the root's path.
  std::string withRootPath(std::string text) const {
    for (size_t at = 0; (at = text.find("@ROOT@", at)) != std::string::npos; at += 6) {
      text.replace(at, 6, root.path().string());
    }
    return text;
  }
};

inline const FixtureDirectory& fixtureDirectory() {
  static const FixtureDirectory fixture;
  return fixture;
}

inline void requireNothingOpenedOutside(testing_support::OpenCounter& opens) {
  for (const auto& opened : opens.counts()) {
    std::fprintf(stderr, "opened outside the base directory: %s\n", opened.first.c_str());
    __builtin_trap();
  }
}

}  // namespace fuzzing
