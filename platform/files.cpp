// The file system: descriptors, whole-file reads, real paths, listings, the bundle, I/O errors.
#include "platform/files.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>

namespace platform {

PreviewFailure failureOf(std::exception_ptr error, const std::string& file) {
  try {
    std::rethrow_exception(error);
  } catch (const std::system_error& failure) {
    return {file, failure.code().value(), failure.code().message()};
  } catch (const std::bad_alloc&) {
    return {file, ENOMEM, std::generic_category().message(ENOMEM)};
  } catch (const std::exception& failure) {
    return {file, EIO, failure.what()};
  } catch (...) {
    return {file, EIO, "unknown error"};
  }
}

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) close(fd_);
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

int FileDescriptor::readUpTo(std::string& bytes, size_t limit, size_t expectedSize) const {
  bytes.reserve(std::min(limit, bytes.size() + expectedSize));
  // Read straight into the result; a file whose size is known needs one pass.
  while (bytes.size() < limit) {
    size_t filled = bytes.size();
    if (filled == bytes.capacity()) {
      // Full: one byte tells whether the file goes on, without doubling (and copying) a
      // result that most often is complete.
      char next;
      ssize_t got = read(fd_, &next, 1);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return errno;
      if (got == 0) break;
      bytes.push_back(next);
      continue;
    }
    size_t want = std::min(bytes.capacity() - filled, limit - filled);
    bytes.resize(filled + want);
    ssize_t got = read(fd_, bytes.data() + filled, want);
    bytes.resize(filled + static_cast<size_t>(std::max<ssize_t>(got, 0)));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0) break;
  }
  return 0;
}

namespace {

// The bytes of `file`, open as `name`, at most `limit` of them.
std::string readOpenFile(const FileDescriptor& file, const std::string& name, size_t limit) {
  if (file.get() < 0) throw FileReadError(errno, name);
  struct stat info {};
  if (fstat(file.get(), &info) != 0) throw FileReadError(errno, name);
  if (S_ISDIR(info.st_mode)) throw FileReadError(EISDIR, name);

  std::string bytes;
  size_t size = S_ISREG(info.st_mode) ? static_cast<size_t>(info.st_size) : 0;
  if (int error = file.readUpTo(bytes, limit, size)) throw FileReadError(error, name);
  return bytes;
}

}  // namespace

std::string readFile(const FileURL& url, size_t limit) {
  const std::string path = url.path();
  return readOpenFile(FileDescriptor(open(path.c_str(), O_RDONLY | O_CLOEXEC)), path, limit);
}

std::string readStandardInput(size_t limit) {
  // A descriptor of its own, which may be closed; the process's descriptor 0 stays.
  return readOpenFile(FileDescriptor(fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0)), "standard input",
                      limit);
}

MappedFile::MappedFile(const std::string& path) {
  FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  if (file.get() < 0 || fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      info.st_size == 0)
    return;
  void* data =
      mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE, file.get(), 0);
  if (data == MAP_FAILED) return;
  data_ = data;
  size_ = static_cast<size_t>(info.st_size);
}

MappedFile::~MappedFile() {
  if (data_ != nullptr) munmap(data_, size_);
}

std::optional<FileURL> realPath(const FileURL& url) {
  const std::string path = url.path();
  // The file system cannot name a path with a NUL byte in it; C would cut it short.
  if (path.find('\0') != std::string::npos) return std::nullopt;
  std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
  if (!resolved) return std::nullopt;
  return FileURL::fileURLWithPath(resolved.get());
}

std::optional<FileURL> realPath(const FileDescriptor& file) {
  struct stat opened {};
  if (fstat(file.get(), &opened) != 0) return std::nullopt;
  // The kernel keeps the path each descriptor was reached by, as the target of its link
  // in /proc. A removed file's path gains " (deleted)"; the path counts only while it
  // still leads to the file itself.
  std::string path(PATH_MAX, '\0');
  const std::string link = "/proc/self/fd/" + std::to_string(file.get());
  const ssize_t length = readlink(link.c_str(), path.data(), path.size());
  if (length <= 0 || static_cast<size_t>(length) >= path.size() || path[0] != '/') {
    return std::nullopt;
  }
  path.resize(static_cast<size_t>(length));
  struct stat named {};
  if (lstat(path.c_str(), &named) != 0 || named.st_dev != opened.st_dev ||
      named.st_ino != opened.st_ino) {
    return std::nullopt;
  }
  return FileURL::fileURLWithPath(path);
}

bool isDirectory(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

namespace {

bool isMarkdownName(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  static constexpr std::array<std::string_view, 5> kExtensions = {".md", ".markdown", ".mdown",
                                                                  ".mkd", ".mkdn"};
  return std::find(kExtensions.begin(), kExtensions.end(), extension) != kExtensions.end();
}

}  // namespace

MarkdownFiles markdownFilesBelow(const std::string& directory) {
  namespace fs = std::filesystem;
  MarkdownFiles files;
  const std::optional<FileURL> realDirectory = realPath(FileURL::fileURLWithPath(directory));
  if (!realDirectory) return files;
  std::error_code error;
  fs::recursive_directory_iterator it(directory, fs::directory_options::skip_permission_denied,
                                      error);
  for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    std::error_code ignored;
    if (!it->is_regular_file(ignored) || !isMarkdownName(it->path())) continue;
    const std::optional<FileURL> real = realPath(FileURL::fileURLWithPath(it->path().string()));
    if (!real) {
      const int reason = errno;
      files.unresolved.push_back(
          {it->path().lexically_relative(directory).string(), std::strerror(reason)});
      continue;
    }
    (liesInside(real->path(), realDirectory->path()) ? files.inside : files.linkingOutside)
        .push_back(it->path().lexically_relative(directory).string());
  }
  std::sort(files.inside.begin(), files.inside.end());
  std::sort(files.linkingOutside.begin(), files.linkingOutside.end());
  std::sort(files.unresolved.begin(), files.unresolved.end());
  return files;
}

namespace {

// The real path of `path`, or `path` itself when the file system cannot resolve it.
FileURL resolvedOrAsGiven(const char* path) {
  const FileURL given = FileURL::fileURLWithPath(path);
  return realPath(given).value_or(given);
}

// For code in a shared object, that object's file; for code in the executable (where
// the loader may only know argv[0]), the executable as the kernel names it.
FileURL binaryFile(const void* codeAddress) {
  Dl_info info{};
  if (dladdr(codeAddress, &info) != 0 && info.dli_fname != nullptr) {
    std::string_view name = info.dli_fname;
    if (name.ends_with(".so") || name.find(".so.") != std::string_view::npos) {
      return resolvedOrAsGiven(info.dli_fname);
    }
  }
  return resolvedOrAsGiven("/proc/self/exe");
}

bool isFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

}  // namespace

Bundle Bundle::forBinaryContaining(const void* codeAddress) {
  return Bundle(binaryFile(codeAddress).deletingLastPathComponent());
}

std::optional<FileURL> Bundle::urlForResource(std::string_view name,
                                              std::string_view extension) const {
  const std::string file = std::string(name) + "." + std::string(extension);
  for (const FileURL& directory : resourceDirectories()) {
    FileURL url = FileURL::fileURLWithPath(file, directory);
    if (isFile(url.path())) return url;
  }
  return std::nullopt;
}

std::vector<FileURL> Bundle::resourceDirectories() const {
  std::vector<FileURL> directories;
  for (const char* place : {"resources", "../share/quillory/resources"}) {
    FileURL url = FileURL::fileURLWithPath(place, directory_);
    if (isDirectory(url.path())) directories.push_back(std::move(url));
  }
  return directories;
}

}  // namespace platform
