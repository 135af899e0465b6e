// Conversion of a README-sized document, with and without math, in a process that has
// already served one request (each conversion still starts from a fresh global).
#include <benchmark/benchmark.h>

#include "platform/files.h"
#include "provider_access.h"

namespace {

std::string corpusDocument(const std::string& name) {
  return platform::readFile(platform::FileURL::fileURLWithPath(std::string(QUILLORY_SOURCE_DIR) +
                                                               "/bench/corpus/" + name));
}

void convertDocument(benchmark::State& state, const std::string& name) {
  const std::string markdown = corpusDocument(name);
  // The first request of the process pays for engine start and resource loading.
  quillory::PreviewProviderInternals::markdownToHTML(markdown);
  for (auto _ : state) {
    benchmark::DoNotOptimize(quillory::PreviewProviderInternals::markdownToHTML(markdown));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * markdown.size()));
}

BENCHMARK_CAPTURE(convertDocument, readme, std::string("readme.md"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(convertDocument, readme_with_math, std::string("readme-math.md"))
    ->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
