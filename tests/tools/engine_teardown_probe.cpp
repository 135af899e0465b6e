// Renders FILE and prints "intact" when the engine's compiled start-up code (read until shutdown)
// was still intact at JS_ShutDown; it interposes the two library functions involved.
#include <dlfcn.h>
#include <js/Initialization.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "preview/page_request.h"

namespace {

const uint8_t* recordedAt = nullptr;
std::string recordedBytes;

template <typename Function>
Function* libraryFunction(const char* mangledName) {
  if (void* found = dlsym(RTLD_NEXT, mangledName)) return reinterpret_cast<Function*>(found);
  std::fprintf(stderr, "engine_teardown_probe: %s not found\n", mangledName);
  std::_Exit(3);
}

}  // namespace

namespace JS {

bool InitSelfHostedCode(JSContext* cx, SelfHostedCache cache, SelfHostedWriter writer) {
  if (!cache.empty() && recordedAt == nullptr) {
    recordedAt = cache.data();
    recordedBytes.assign(reinterpret_cast<const char*>(cache.data()), cache.size());
  }
  using Function = bool(JSContext*, SelfHostedCache, SelfHostedWriter);
  static Function* const library = libraryFunction<Function>(
      "_ZN2JS18InitSelfHostedCodeEP9JSContextN7mozilla4SpanIKhLm18446744073709551615EEEPFbS1_S5_E");
  return library(cx, cache, writer);
}

}  // namespace JS

void JS_ShutDown() {
  // A freed buffer reads back changed (the test sets MALLOC_PERTURB_) or not at all.
  if (recordedAt == nullptr ||
      std::memcmp(recordedAt, recordedBytes.data(), recordedBytes.size()) != 0) {
    std::fputs("engine_teardown_probe: the engine's start-up code was freed before shutdown\n",
               stderr);
    std::_Exit(1);
  }
  std::fputs("intact\n", stdout);
  std::fflush(stdout);
  static auto* const library = libraryFunction<void()>("_Z11JS_ShutDownv");
  library();
}

int main(int argc, char** argv) {
  if (argc != 2) return 2;  // usage: engine_teardown_probe FILE
  return quillory::pageFor(platform::FileURL::fileURLWithPath(argv[1])).index() == 0 ? 0 : 1;
}
