// File URLs: absolute file-system paths and the path operations the preview relies on.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// A file URL, held as its decoded, absolute path. Paths are bytes: names that are not
// UTF-8 pass through untouched.
class FileURL {
 public:
  // A path that does not begin with "/" is taken relative to the working directory.
  static FileURL fileURLWithPath(std::string_view path);
  // A path that does not begin with "/" is resolved below `directory`; one that does
  // stands by itself.
  static FileURL fileURLWithPath(std::string_view path, const FileURL& directory);

  // The absolute path without a trailing separator ("/" for the root directory).
  std::string path() const;
  // The URL of the directory that holds this one.
  FileURL deletingLastPathComponent() const;
  // "." segments removed, each ".." removed with the segment before it, repeated
  // separators collapsed. Works on the text alone; the file system is not consulted.
  FileURL standardized() const;
  // The text after the last "." of the last path component, or the empty text.
  std::string pathExtension() const;

  bool operator==(const FileURL&) const = default;

 private:
  explicit FileURL(std::string absolutePath) : path_(std::move(absolutePath)) {}
  std::string path_;
};

// The same operations on the text of a path that may be relative, for names shown to a user
// as they were typed: the last component ("b.md" of "a/b.md/"); the path without it ("a" of
// "a/b.md", "." of "b.md"); the path with its last component's extension replaced by
// `extension`, or `extension` added where it has none (a leading dot starts no extension).
std::string lastPathComponent(std::string_view path);
std::string deletingLastPathComponent(std::string_view path);
std::string replacingPathExtension(std::string_view path, std::string_view extension);

// True when the absolute `path` is `directory` itself or lies below it, by their text alone
// (standardized or real paths, both alike). Nothing lies below the root directory: the
// prefix it would need is "//".
bool liesInside(std::string_view path, std::string_view directory);

}  // namespace platform
