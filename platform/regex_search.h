// Regular-expression search with ICU's engine over UTF-8 text, positions in bytes.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace platform {

// A span of the searched text in UTF-8 byte offsets. A capture group that took no part
// in the match has `location == notFound`.
struct TextRange {
  static constexpr size_t notFound = static_cast<size_t>(-1);
  size_t location = notFound;
  size_t length = 0;
  size_t end() const { return location + length; }
};

// One match: the whole match first, then each capture group in order.
using RegexMatch = std::vector<TextRange>;

struct RegexOptions {
  bool caseInsensitive = false;
};

// A compiled pattern over one text, which must outlive it. Word boundaries and
// character classes follow ICU's Unicode rules.
class RegexSearch {
 public:
  // Nothing when the pattern does not compile.
  static std::optional<RegexSearch> compile(std::string_view pattern, std::string_view text,
                                            RegexOptions options = {});
  RegexSearch(RegexSearch&&) noexcept;
  RegexSearch& operator=(RegexSearch&&) noexcept;
  ~RegexSearch();

  // Every non-overlapping match, in ascending order, found in one scan of the text from
  // its start. Nothing when the engine fails.
  std::optional<std::vector<RegexMatch>> allMatches();
  // The match that begins exactly at `position`, as a scan would find it there. Nothing
  // when none begins there or the engine fails.
  std::optional<RegexMatch> matchAt(size_t position);

 private:
  struct Engine;
  explicit RegexSearch(std::unique_ptr<Engine> engine);
  std::unique_ptr<Engine> engine_;
};

}  // namespace platform
