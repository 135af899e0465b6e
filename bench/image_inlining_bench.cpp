// Inlining time over large fragments: it should grow with the fragment's length plus the
// bytes embedded. Arguments: fragment size in MB, img elements, KB per local image.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "provider_access.h"

namespace {

namespace fs = std::filesystem;

class ImageDirectory {
 public:
  ImageDirectory() {
    std::random_device random;
    path_ = fs::temp_directory_path() / ("quillory-bench-" + std::to_string(random()));
    fs::create_directories(path_);
  }
  ~ImageDirectory() { fs::remove_all(path_); }
  const fs::path& path() const { return path_; }
  void write(const std::string& name, const std::string& bytes) const {
    std::ofstream(path_ / name, std::ios::binary) << bytes;
  }

 private:
  fs::path path_;
};

// Every other img element names a local file; the rest are remote. Filler paragraphs
// with other tags, non-ASCII text and emoji bring the fragment to its length.
std::string fragmentWithImages(size_t length, int images, const ImageDirectory& directory,
                               size_t imageBytes) {
  const std::string paragraph =
      "<p>Plain text, <em>emphasis</em>, <code>a &lt; b</code>, caf\xC3\xA9 "
      "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E \xF0\x9F\x98\x80 and a <a "
      "href=\"x.html\">link</a>.</p>\n";
  const size_t fillerPerImage = length / static_cast<size_t>(images);
  std::string html;
  html.reserve(length + 4096);
  for (int i = 0; i < images; ++i) {
    const size_t end = html.size() + fillerPerImage;
    if (i % 2 == 0) {
      const std::string name = "img" + std::to_string(i) + ".png";
      directory.write(name, std::string(imageBytes, static_cast<char>(i)));
      html += "<p><img src=\"" + name + "\" alt=\"local\"></p>\n";
    } else {
      html += "<p><img src=\"https://example.com/" + std::to_string(i) + ".png\" alt=\"r\"></p>\n";
    }
    while (html.size() + paragraph.size() <= end) html += paragraph;
  }
  return html;
}

void BM_InlineLocalImages(benchmark::State& state) {
  const ImageDirectory directory;
  const std::string html = fragmentWithImages(static_cast<size_t>(state.range(0)) << 20,
                                              static_cast<int>(state.range(1)), directory,
                                              static_cast<size_t>(state.range(2)) << 10);
  const auto baseDir = platform::FileURL::fileURLWithPath(directory.path().string());
  size_t resultLength = 0;
  for (auto _ : state) {
    std::string result = quillory::PreviewProviderInternals::inlineLocalImages(html, baseDir);
    resultLength = result.size();
    benchmark::DoNotOptimize(result);
  }
  const size_t embedded = static_cast<size_t>(state.range(1) / 2 * state.range(2)) << 10;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * (html.size() + embedded)));
  state.counters["fragment_MB"] = static_cast<double>(html.size()) / (1 << 20);
  state.counters["result_MB"] = static_cast<double>(resultLength) / (1 << 20);
}

BENCHMARK(BM_InlineLocalImages)
    ->ArgNames({"MB", "imgs", "KB"})
    ->Args({1, 250, 2})
    ->Args({2, 500, 2})
    ->Args({4, 1000, 2})
    ->Args({4, 1000, 16})
    ->Args({4, 1000, 64})
    ->Args({16, 4000, 2})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
