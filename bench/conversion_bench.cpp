// Conversion of a README-sized document, with and without math, with and without the GitHub
// extras, and with two mermaid diagrams, in a process that has already served one request
// (each conversion still starts from a fresh global).
#include <benchmark/benchmark.h>

#include "platform/files.h"
#include "provider_access.h"

namespace {

using quillory::Extras;

std::string corpusDocument(const std::string& path) {
  return platform::readFile(
      platform::FileURL::fileURLWithPath(std::string(QUILLORY_SOURCE_DIR) + "/" + path));
}

void convertDocument(benchmark::State& state, const std::string& path, Extras extras) {
  const quillory::PreviewOptions options{.extras = extras};
  const std::string markdown = corpusDocument(path);
  // The first request of the process pays for engine start and resource loading.
  quillory::PreviewProviderInternals::markdownToHTML(markdown, options);
  for (auto _ : state) {
    benchmark::DoNotOptimize(quillory::PreviewProviderInternals::markdownToHTML(markdown, options));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * markdown.size()));
}

BENCHMARK_CAPTURE(convertDocument, readme, "bench/corpus/readme.md", Extras::none)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(convertDocument, readme_with_math, "bench/corpus/readme-math.md", Extras::none)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(convertDocument, readme_github, "bench/corpus/readme.md", Extras::github)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(convertDocument, readme_mermaid_github, "bench/corpus/readme-mermaid.md",
                  Extras::github)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(convertDocument, extras_doc, "tests/differential/corpus/github-readme.md",
                  Extras::none)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(convertDocument, extras_doc_github, "tests/differential/corpus/github-readme.md",
                  Extras::github)
    ->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
