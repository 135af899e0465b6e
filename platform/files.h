// The file system: descriptors, whole-file reads and mappings, real paths, listings, the bundle,
// I/O errors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/file_url.h"
#include "platform/preview_service.h"

namespace platform {

// A file that could not be read. what() reads "PATH: REASON".
class FileReadError : public std::system_error {
 public:
  FileReadError(int error, const std::string& path)
      : std::system_error(error, std::generic_category(), path), path_(path) {}
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A file that could not be written. what() reads "PATH: REASON".
class FileWriteError : public std::system_error {
 public:
  FileWriteError(int error, const std::string& path)
      : std::system_error(error, std::generic_category(), path) {}
};

// The failure to read `file` that `error` stands for: a system error keeps its code and
// its message in the words a user expects ("No such file or directory"); memory running
// out is ENOMEM; anything else is EIO with what it says.
PreviewFailure failureOf(std::exception_ptr error, const std::string& file);

// An open file descriptor that closes itself, and bounded reads from one.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor();
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  // Moving hands the descriptor over; the one moved from holds none.
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;

  int get() const { return fd_; }

  // Appends to `bytes` what the file holds until its end or until `bytes` holds `limit`
  // bytes, whichever comes first; `expectedSize` (the file's size when known) sizes the
  // buffer. Returns 0, or the errno of a failed read.
  int readUpTo(std::string& bytes, size_t limit, size_t expectedSize = 0) const;

 private:
  int fd_;
};

// The bytes of the file, at most `limit` of them (the read stops there). Throws
// FileReadError when the file is missing, unreadable or a directory.
std::string readFile(const FileURL& url, size_t limit = SIZE_MAX);

// What standard input holds, at most `limit` bytes of it (the read stops there). Throws
// FileReadError, naming "standard input", when it is a directory or cannot be read.
std::string readStandardInput(size_t limit);

// A regular file's bytes, mapped read-only: only the pages that are read are loaded. Empty
// when the file cannot be opened or mapped. Replace a mapped file by renaming a new one over
// it: one cut short under a mapping faults the reader.
class MappedFile {
 public:
  explicit MappedFile(const std::string& path);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  std::string_view bytes() const { return {static_cast<const char*>(data_), size_}; }

 private:
  void* data_ = nullptr;
  size_t size_ = 0;
};

// The canonical absolute path of an existing file or directory, as the file system
// resolves it. Nothing when some component is missing or cannot be searched.
std::optional<FileURL> realPath(const FileURL& url);

// The canonical absolute path of the file or directory open as `file`: the one it was
// found under, whatever was renamed or linked on the way to it since. Nothing when it no
// longer has one that leads to it (it was removed or moved away), or when /proc is not
// there to tell.
std::optional<FileURL> realPath(const FileDescriptor& file);

// True when `path` names a directory (following symbolic links).
bool isDirectory(const std::string& path);

// The Markdown files (.md, .markdown, .mdown, .mkd, .mkdn, any letter case) below a
// directory, at any depth, as paths relative to it, each list sorted.
struct MarkdownFiles {
  std::vector<std::string> inside;
  // Symbolic links whose real path lies outside the directory's real path: the files they
  // lead to are not the directory's to show.
  std::vector<std::string> linkingOutside;
  // Files whose real path cannot be found (a path longer than PATH_MAX), with the
  // system's reason.
  std::vector<std::pair<std::string, std::string>> unresolved;
};

// The Markdown files below `directory`. Links to directories are not followed, and
// directories that cannot be read are passed over.
MarkdownFiles markdownFilesBelow(const std::string& directory);

// The bundle: where the resource files of the binary that holds given code are found.
class Bundle {
 public:
  // The bundle of the executable or shared object that contains `codeAddress`.
  static Bundle forBinaryContaining(const void* codeAddress);

  // The resource "NAME.EXTENSION": first in resources/ beside the binary, then in
  // ../share/quillory/resources/ relative to it (an installed layout). Nothing when
  // neither holds the file.
  std::optional<FileURL> urlForResource(std::string_view name, std::string_view extension) const;

  // The directories urlForResource looks in, those of them that exist.
  std::vector<FileURL> resourceDirectories() const;

 private:
  explicit Bundle(FileURL directory) : directory_(std::move(directory)) {}
  FileURL directory_;
};

}  // namespace platform
