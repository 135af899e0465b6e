// Local image inlining: img sources naming files below the base directory become data: URIs.
#include <optional>
#include <string_view>
#include <vector>

#include "images/image_sources.h"
#include "platform/base64.h"
#include "platform/percent_decoding.h"
#include "platform/real_path.h"
#include "platform/regular_file_reading.h"
#include "platform/unicode_case.h"
#include "preview/preview_provider.h"

namespace quillory {
namespace {

constexpr size_t kMaxImageBytes = 8'000'000;
constexpr std::string_view kLeftAlonePrefixes[] = {"data:", "http://", "https://", "cid:"};
constexpr std::string_view kDataScheme = "data:";
constexpr std::string_view kBase64Marker = ";base64,";

bool isInlineOrRemote(std::string_view source) {
  const std::string lower = platform::lowercased(source);
  for (std::string_view prefix : kLeftAlonePrefixes) {
    if (lower.starts_with(prefix)) return true;
  }
  return false;
}

// True when `path` is `directory` itself or lies below it. Nothing lies below the root
// directory: the prefix it would need is "//".
bool liesInside(const std::string& path, const std::string& directory) {
  return path == directory || (path.size() > directory.size() && path.starts_with(directory) &&
                               path[directory.size()] == '/');
}

// The directory whose files may be embedded, by its standardized path and by its real
// path (nothing when it does not exist).
struct BaseDirectory {
  explicit BaseDirectory(const platform::FileURL& url)
      : url(url), path(url.standardized().path()), realPath(platform::realPath(url)) {}
  platform::FileURL url;
  std::string path;
  std::optional<platform::FileURL> realPath;
};

// The file that `source` names below the base directory: percent-decoded when that
// succeeds, resolved against the directory and standardized as text.
platform::FileURL fileNamedBy(std::string_view source, const BaseDirectory& base) {
  const std::optional<std::string> decoded = platform::removingPercentEncoding(source);
  return platform::FileURL::fileURLWithPath(decoded ? std::string_view(*decoded) : source, base.url)
      .standardized();
}

// The bytes of `file` when it lies inside the base directory both by its path text and,
// once symbolic links are followed, by its real path; and when it is a regular file of
// at most kMaxImageBytes bytes.
std::optional<std::string> imageBytesInside(const platform::FileURL& file,
                                            const BaseDirectory& base) {
  if (!liesInside(file.path(), base.path) || !base.realPath) return std::nullopt;
  const std::optional<platform::FileURL> real = platform::realPath(file);
  if (!real || !liesInside(real->path(), base.realPath->path())) return std::nullopt;
  return platform::readRegularFile(*real, kMaxImageBytes);
}

struct Embedding {
  platform::TextRange source;  // where the source value stands in the fragment
  std::string mediaType;
  std::string bytes;
};

size_t dataURILength(const Embedding& embedding) {
  return kDataScheme.size() + embedding.mediaType.size() + kBase64Marker.size() +
         (embedding.bytes.size() + 2) / 3 * 4;
}

// The fragment with each embedding's source replaced by its data: URI, assembled in one
// pass. `embeddings` run from the last source in the fragment to the first.
std::string withDataURIs(const std::string& html, std::vector<Embedding>& embeddings) {
  size_t length = html.size();
  for (const Embedding& embedding : embeddings) {
    length += dataURILength(embedding) - embedding.source.length;
  }
  std::string result;
  result.reserve(length);
  size_t copied = 0;
  for (auto embedding = embeddings.rbegin(); embedding != embeddings.rend(); ++embedding) {
    result.append(html, copied, embedding->source.location - copied);
    result += kDataScheme;
    result += embedding->mediaType;
    result += kBase64Marker;
    platform::appendBase64(result, embedding->bytes);
    std::string().swap(embedding->bytes);  // let go of each image once it is written
    copied = embedding->source.end();
  }
  result.append(html, copied);
  return result;
}

}  // namespace

std::string PreviewProvider::inlineLocalImages(const std::string& html,
                                               const platform::FileURL& baseDir) const {
  // Positions are UTF-8 byte offsets into `html`, in the search and in the rewriting.
  const std::optional<std::vector<platform::TextRange>> sources = imageSourceRanges(html);
  if (!sources || sources->empty()) return html;

  const BaseDirectory base(baseDir);
  std::vector<Embedding> embeddings;
  for (auto range = sources->rbegin(); range != sources->rend(); ++range) {
    const std::string_view source = std::string_view(html).substr(range->location, range->length);
    if (isInlineOrRemote(source)) continue;
    const platform::FileURL file = fileNamedBy(source, base);
    std::optional<std::string> bytes = imageBytesInside(file, base);
    if (!bytes) continue;
    embeddings.push_back({*range, mimeType(file.pathExtension()), std::move(*bytes)});
  }
  if (embeddings.empty()) return html;
  return withDataURIs(html, embeddings);
}

}  // namespace quillory
