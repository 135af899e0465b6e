// The directory tree that the harnesses which read image files work in: a base
// directory with images, links and special files, and files around it that no page may
// ever read.
#pragma once

#include <filesystem>
#include <string>

namespace fuzzing {

struct FixtureDirectory {
  std::filesystem::path root;  // holds base/ and the files outside it
  std::filesystem::path base;  // the previewed document's directory
  // The content of every file outside base/, and its base64 text as a data: URI would
  // carry it.
  std::string outsideBytes;
  std::string outsideBase64;
};

// Made on first use in a fresh temporary directory, removed when the process exits.
const FixtureDirectory& fixtureDirectory();

// `text` with every "@ROOT@" replaced by the fixture's root path, so that inputs can
// name absolute paths.
std::string withRootPath(std::string text);

}  // namespace fuzzing
