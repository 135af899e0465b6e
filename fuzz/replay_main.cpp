// Replays every file of the directories named, once, without libFuzzer; a violated property traps.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <set>

#include "support/files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  std::set<std::filesystem::path> inputs;  // in order: a failure repeats alike
  for (int i = 1; i < argc; ++i)
    for (const auto& entry : std::filesystem::directory_iterator(argv[i])) inputs.insert(entry);
  for (const auto& input : inputs) {
    const std::string bytes = testing_support::readWholeFile(input);
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("replayed %zu inputs\n", inputs.size());
  return inputs.empty() ? 1 : 0;
}
