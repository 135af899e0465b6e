// Preloaded into quillory, a stand-in for a fault in the conversion: once a thread other than
// the main one has opened the document named by FAULT_DOCUMENT for reading, it tries each line
// of FAULT_TRIES ("append PATH", "create PATH" or "remove PATH") and reports it on standard
// error with the kernel's answer.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

extern "C" int open(const char* path, int flags, ...) {
  va_list rest;
  va_start(rest, flags);
  const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(rest, mode_t) : 0;
  va_end(rest);
  static const auto next =
      reinterpret_cast<int (*)(const char*, int, ...)>(dlsym(RTLD_NEXT, "open"));
  static thread_local bool trying = false;  // the tries open files too
  const int fd = next(path, flags, mode);
  const char* document = std::getenv("FAULT_DOCUMENT");
  if (fd < 0 || trying || (flags & O_PATH) || gettid() == getpid() || document == nullptr ||
      std::strcmp(path, document) != 0) {
    return fd;
  }
  trying = true;
  std::istringstream tries(std::getenv("FAULT_TRIES"));
  for (std::string what, file; tries >> what >> file;) {
    const int result = what == "remove"   ? unlink(file.c_str())
                       : what == "create" ? open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600)
                                          : open(file.c_str(), O_WRONLY | O_APPEND);
    if (result > 0) close(result);
    const bool denied = result < 0 && (errno == EACCES || errno == EPERM);
    std::fprintf(stderr, "%s %s: %s\n", what.c_str(), file.c_str(),
                 denied        ? "denied"
                 : result >= 0 ? "allowed"
                               : std::strerror(errno));
  }
  trying = false;
  return fd;
}
