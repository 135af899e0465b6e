// Local image inlining: img sources naming files below the base directory become data: URIs.
#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "images/image_sources.h"
#include "platform/confined_directory.h"
#include "platform/files.h"
#include "platform/limits.h"
#include "platform/text.h"
#include "preview/preview_provider.h"

namespace quillory {

namespace {

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

// The directory whose files may be embedded: by its standardized path, for the test on
// path text, and held open, for finding its files and reading them without leaving it.
struct BaseDirectory {
  explicit BaseDirectory(const platform::FileURL& url)
      : url(url), path(url.standardized().path()), files(url) {}
  platform::FileURL url;
  std::string path;
  platform::ConfinedDirectory files;
};

// The file that `source` names below the base directory: percent-decoded when that
// succeeds, resolved against the directory and standardized as text.
platform::FileURL fileNamedBy(std::string_view source, const BaseDirectory& base) {
  const std::optional<std::string> decoded = platform::removingPercentEncoding(source);
  return platform::FileURL::fileURLWithPath(decoded ? std::string_view(*decoded) : source, base.url)
      .standardized();
}

// Where `file` lies below the base directory once symbolic links are followed, as a path
// relative to the directory, when it lies inside it both by its path text and by its real
// path. That path holds no link when it is made; should a link or a rename be swapped in
// before the file is read, the read fails rather than leave the directory.
std::optional<std::string> realPathBelow(const platform::FileURL& file, const BaseDirectory& base) {
  const std::optional<platform::FileURL>& baseReal = base.files.realPath();
  if (!platform::liesInside(file.path(), base.path) || !baseReal) return std::nullopt;
  const std::optional<platform::FileURL> real = platform::realPath(file);
  if (!real || real == baseReal || !platform::liesInside(real->path(), baseReal->path())) {
    return std::nullopt;
  }
  return real->path().substr(baseReal->path().size() + 1);
}

size_t dataURILength(std::string_view mediaType, size_t base64Length) {
  return kDataScheme.size() + mediaType.size() + kBase64Marker.size() + base64Length;
}

struct Embedding {
  platform::TextRange source;  // where the source value stands in the fragment
  std::string mediaType;
  std::shared_ptr<const std::string> base64;  // shared by every embedding of one file
};

// The data: URIs of one page, within limits::embeddedImageBytes in all. Each file is read and
// encoded once per page, however often the page shows it.
class PageImages {
 public:
  explicit PageImages(const platform::ConfinedDirectory& base) : base_(base) {}

  // Embeds the file at `realPath` below the base directory, named with `mediaType`, when
  // it can be read, holds at most limits::imageFileBytes and its URI fits in what is left of the
  // page's room.
  std::optional<Embedding> embed(platform::TextRange source, const std::string& realPath,
                                 std::string mediaType) {
    const size_t overhead = dataURILength(mediaType, 0);
    if (room_ < overhead) return std::nullopt;
    auto [encoding, unread] = encodings_.try_emplace(realPath);
    if (unread) {
      // A file too large for the room left is not read at all: the room only shrinks.
      const size_t largestFitting = (room_ - overhead) / 4 * 3;
      if (auto bytes =
              base_.readRegularFile(realPath, std::min(limits::imageFileBytes, largestFitting))) {
        encoding->second = std::make_shared<const std::string>(platform::base64Encoded(*bytes));
      }
    }
    if (!encoding->second || overhead + encoding->second->size() > room_) return std::nullopt;
    room_ -= overhead + encoding->second->size();
    return Embedding{source, std::move(mediaType), encoding->second};
  }

 private:
  const platform::ConfinedDirectory& base_;
  size_t room_ = limits::embeddedImageBytes;
  // By real path below the base; nothing for a file that could not be embedded.
  std::map<std::string, std::shared_ptr<const std::string>> encodings_;
};

// The fragment with each embedding's source replaced by its data: URI, assembled in one
// pass. `embeddings` are in the order of their sources in the fragment.
std::string withDataURIs(const std::string& html, const std::vector<Embedding>& embeddings) {
  size_t length = html.size();
  for (const Embedding& embedding : embeddings) {
    length +=
        dataURILength(embedding.mediaType, embedding.base64->size()) - embedding.source.length;
  }
  std::string result;
  result.reserve(length);
  size_t copied = 0;
  for (const Embedding& embedding : embeddings) {
    result.append(html, copied, embedding.source.location - copied);
    result += kDataScheme;
    result += embedding.mediaType;
    result += kBase64Marker;
    result += *embedding.base64;
    copied = embedding.source.end();
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
  PageImages images(base.files);
  std::vector<Embedding> embeddings;
  // In the order of the fragment: when the page's room runs out, the images shown first
  // are the ones embedded.
  for (const platform::TextRange& range : *sources) {
    const std::string_view source = std::string_view(html).substr(range.location, range.length);
    if (isInlineOrRemote(source)) continue;
    const platform::FileURL file = fileNamedBy(source, base);
    const std::optional<std::string> real = realPathBelow(file, base);
    if (!real) continue;
    if (auto embedding = images.embed(range, *real, mimeType(file.pathExtension()))) {
      embeddings.push_back(std::move(*embedding));
    }
  }
  if (embeddings.empty()) return html;
  return withDataURIs(html, embeddings);
}

}  // namespace quillory
