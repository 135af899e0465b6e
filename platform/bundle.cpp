// The bundle: where the resource files of the binary that holds given code are found.
#include "platform/bundle.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace platform {
namespace {

std::string realPathOf(const char* path) {
  std::unique_ptr<char, decltype(&free)> resolved(realpath(path, nullptr), &free);
  return resolved ? std::string(resolved.get()) : std::string(path);
}

// For code in a shared object, that object's file; for code in the executable (where
// the loader may only know argv[0]), the executable as the kernel names it.
std::string binaryPath(const void* codeAddress) {
  Dl_info info{};
  if (dladdr(codeAddress, &info) != 0 && info.dli_fname != nullptr) {
    std::string_view name = info.dli_fname;
    if (name.ends_with(".so") || name.find(".so.") != std::string_view::npos) {
      return realPathOf(info.dli_fname);
    }
  }
  return realPathOf("/proc/self/exe");
}

bool isFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

}  // namespace

Bundle Bundle::forBinaryContaining(const void* codeAddress) {
  return Bundle(FileURL::fileURLWithPath(binaryPath(codeAddress)).deletingLastPathComponent());
}

std::optional<FileURL> Bundle::urlForResource(std::string_view name,
                                              std::string_view extension) const {
  const std::string file = std::string(name) + "." + std::string(extension);
  for (const char* place : {"resources/", "../share/quillory/resources/"}) {
    FileURL url = FileURL::fileURLWithPath(place + file, directory_);
    if (isFile(url.path())) return url;
  }
  return std::nullopt;
}

}  // namespace platform
