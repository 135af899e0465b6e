// Where the sources of img elements stand in an HTML fragment.
#include "images/image_sources.h"

#include <algorithm>

namespace quillory {
namespace {

// Every match of the image pattern begins where this one matches.
constexpr std::string_view kTagStartPattern = R"(<img\b)";
constexpr size_t kSourceGroup = 2;

}  // namespace

// A plain scan tries the pattern at every "<img" and, where none of the "src=" up to the
// tag's next ">" leads to a match, reads on to that ">" each time: over a long run of
// "<img" without ">" that is quadratic. But when the try at one "<img" fails, every
// later "<img" before the same ">" fails too, since its tries are a subset of the first
// one's. So the tries are made here, and after a failure the search resumes at that ">".
std::optional<std::vector<platform::TextRange>> imageSourceRanges(std::string_view html) {
  const platform::RegexOptions caseInsensitive{.caseInsensitive = true};
  std::optional<platform::RegexSearch> tagStarts =
      platform::RegexSearch::compile(kTagStartPattern, html, caseInsensitive);
  std::optional<platform::RegexSearch> images =
      platform::RegexSearch::compile(kImagePattern, html, caseInsensitive);
  if (!tagStarts || !images) return std::nullopt;
  std::optional<std::vector<platform::RegexMatch>> starts = tagStarts->allMatches();
  if (!starts) return std::nullopt;

  std::vector<platform::TextRange> sources;
  size_t resumeAt = 0;
  for (const platform::RegexMatch& start : *starts) {
    const size_t position = start[0].location;
    if (position < resumeAt) continue;
    if (std::optional<platform::RegexMatch> match = images->matchAt(position)) {
      sources.push_back((*match)[kSourceGroup]);
      resumeAt = (*match)[0].end();
    } else {
      resumeAt = std::min(html.find('>', position), html.size());
    }
  }
  return sources;
}

}  // namespace quillory
