// Watches which files the process opens, by interposing the C library's open functions
// and its syscall function, through which openat2 is called.
#include "open_watch.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdlib>
#include <mutex>

#include "platform/file_url.h"

namespace fuzzing {
namespace {

std::mutex watchMutex;
std::vector<std::string>* watchedPaths = nullptr;  // guarded by watchMutex
std::atomic<bool> watching = false;

std::string linkTarget(const std::string& link) {
  char buffer[4096];
  ssize_t length = readlink(link.c_str(), buffer, sizeof buffer);
  return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

std::string absolutePath(int directory, const char* path) {
  if (path[0] == '/') return path;
  const std::string base = directory == AT_FDCWD
                               ? linkTarget("/proc/self/cwd")
                               : linkTarget("/proc/self/fd/" + std::to_string(directory));
  return base + "/" + path;
}

void record(int directory, const char* path) {
  if (!watching || path == nullptr) return;
  std::string absolute = absolutePath(directory, path);
  std::lock_guard lock(watchMutex);
  if (watchedPaths != nullptr) watchedPaths->push_back(std::move(absolute));
}

template <typename Function>
Function next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

mode_t modeArgument(int flags, va_list arguments) {
  return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
}

}  // namespace

OpenWatch::OpenWatch() {
  std::lock_guard lock(watchMutex);
  watchedPaths = new std::vector<std::string>();
  watching = true;
}

OpenWatch::~OpenWatch() {
  std::lock_guard lock(watchMutex);
  watching = false;
  delete watchedPaths;
  watchedPaths = nullptr;
}

std::vector<std::string> OpenWatch::openedPaths() const {
  std::lock_guard lock(watchMutex);
  return *watchedPaths;
}

std::optional<std::string> OpenWatch::openedOutside(
    const std::vector<std::string>& directories) const {
  for (const std::string& path : openedPaths()) {
    // A file gone since (a thread's entry in /proc) is judged by its path's text.
    std::string real = realPathOf(path);
    if (real.empty()) real = platform::FileURL::fileURLWithPath(path).standardized().path();
    bool inside = false;
    for (const std::string& directory : directories) {
      inside = inside || real == directory || real.starts_with(directory + "/");
    }
    if (!inside) return path;
  }
  return std::nullopt;
}

std::string realPathOf(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  std::string result = resolved != nullptr ? resolved : "";
  std::free(resolved);
  return result;
}

}  // namespace fuzzing

// The interposed functions: each records, then forwards to the C library's own.
extern "C" {

using OpenFunction = int (*)(const char*, int, ...);
using OpenAtFunction = int (*)(int, const char*, int, ...);
using FopenFunction = FILE* (*)(const char*, const char*);
using SyscallFunction = long (*)(long, ...);

#define QUILLORY_INTERPOSE_OPEN(name)                            \
  int name(const char* path, int flags, ...) {                   \
    va_list arguments;                                           \
    va_start(arguments, flags);                                  \
    const mode_t mode = fuzzing::modeArgument(flags, arguments); \
    va_end(arguments);                                           \
    fuzzing::record(AT_FDCWD, path);                             \
    static const auto real = fuzzing::next<OpenFunction>(#name); \
    return real(path, flags, mode);                              \
  }
#define QUILLORY_INTERPOSE_OPENAT(name)                            \
  int name(int directory, const char* path, int flags, ...) {      \
    va_list arguments;                                             \
    va_start(arguments, flags);                                    \
    const mode_t mode = fuzzing::modeArgument(flags, arguments);   \
    va_end(arguments);                                             \
    fuzzing::record(directory, path);                              \
    static const auto real = fuzzing::next<OpenAtFunction>(#name); \
    return real(directory, path, flags, mode);                     \
  }
#define QUILLORY_INTERPOSE_FOPEN(name)                            \
  FILE* name(const char* path, const char* mode) {                \
    fuzzing::record(AT_FDCWD, path);                              \
    static const auto real = fuzzing::next<FopenFunction>(#name); \
    return real(path, mode);                                      \
  }

QUILLORY_INTERPOSE_OPEN(open)
QUILLORY_INTERPOSE_OPEN(open64)
QUILLORY_INTERPOSE_OPENAT(openat)
QUILLORY_INTERPOSE_OPENAT(openat64)
QUILLORY_INTERPOSE_FOPEN(fopen)
QUILLORY_INTERPOSE_FOPEN(fopen64)

// The C library has no openat2 of its own: it is called by number. The six arguments a
// system call can take are passed on, whichever of them the call has; like the C
// library's own syscall, this reads all six slots, past what a shorter call passed,
// which AddressSanitizer would take for a fault.
__attribute__((no_sanitize("address"))) long syscall(long number, ...) noexcept {
  va_list arguments;
  va_start(arguments, number);
  long argument[6];
  for (long& each : argument) each = va_arg(arguments, long);
  va_end(arguments);
  if (number == SYS_openat2) {
    fuzzing::record(static_cast<int>(argument[0]), reinterpret_cast<const char*>(argument[1]));
  }
  static const auto real = fuzzing::next<SyscallFunction>("syscall");
  return real(number, argument[0], argument[1], argument[2], argument[3], argument[4], argument[5]);
}
}
