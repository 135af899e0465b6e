// Source reading: the previewed file as UTF-8 text, cut with a visible note when long.
#include <string_view>

#include "platform/files.h"
#include "platform/text.h"
#include "preview/preview_provider.h"

namespace quillory {
namespace {

constexpr std::string_view kTruncationNote = "\n\n> \u2026 preview truncated (large file).";

}  // namespace

std::string PreviewProvider::readText(const platform::FileURL& fileURL) const {
  // One byte past the cap tells whether the file is longer; nothing more is read.
  std::string bytes = platform::readFile(fileURL, maxBytes + 1);
  if (bytes.size() > maxBytes) {
    bytes.resize(maxBytes);
    bytes += kTruncationNote;
  }
  if (platform::isWellFormedUTF8(bytes)) return bytes;
  return platform::decodeUTF8Leniently(bytes);
}

}  // namespace quillory
