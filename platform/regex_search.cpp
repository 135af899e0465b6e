// Regular-expression search with ICU's engine over UTF-8 text, positions in bytes.
#include "platform/regex_search.h"

#include <unicode/regex.h>
#include <unicode/utext.h>

namespace platform {
namespace {

// A read-only UText over UTF-8 bytes: its native indexes are byte offsets, so no copy
// or conversion of the text is made.
icu::LocalUTextPointer utf8Text(std::string_view bytes, UErrorCode& status) {
  return icu::LocalUTextPointer(
      utext_openUTF8(nullptr, bytes.data(), static_cast<int64_t>(bytes.size()), &status));
}

TextRange groupRange(const icu::RegexMatcher& matcher, int32_t group, UErrorCode& status) {
  const int64_t start = matcher.start64(group, status);
  const int64_t end = matcher.end64(group, status);
  if (U_FAILURE(status) || start < 0) return {};
  return {static_cast<size_t>(start), static_cast<size_t>(end - start)};
}

std::optional<RegexMatch> currentMatch(const icu::RegexMatcher& matcher) {
  UErrorCode status = U_ZERO_ERROR;
  RegexMatch match;
  match.reserve(static_cast<size_t>(matcher.groupCount()) + 1);
  for (int32_t group = 0; group <= matcher.groupCount(); ++group) {
    match.push_back(groupRange(matcher, group, status));
  }
  if (U_FAILURE(status)) return std::nullopt;
  return match;
}

}  // namespace

struct RegexSearch::Engine {
  icu::LocalUTextPointer text;
  std::unique_ptr<icu::RegexPattern> pattern;
  std::unique_ptr<icu::RegexMatcher> matcher;
};

RegexSearch::RegexSearch(std::unique_ptr<Engine> engine) : engine_(std::move(engine)) {}
RegexSearch::RegexSearch(RegexSearch&&) noexcept = default;
RegexSearch& RegexSearch::operator=(RegexSearch&&) noexcept = default;
RegexSearch::~RegexSearch() = default;

std::optional<RegexSearch> RegexSearch::compile(std::string_view pattern, std::string_view text,
                                                RegexOptions options) {
  UErrorCode status = U_ZERO_ERROR;
  icu::LocalUTextPointer patternText = utf8Text(pattern, status);
  UParseError parseError{};
  const uint32_t flags = options.caseInsensitive ? UREGEX_CASE_INSENSITIVE : 0;
  auto engine = std::make_unique<Engine>();
  engine->pattern.reset(
      icu::RegexPattern::compile(patternText.getAlias(), flags, parseError, status));
  if (U_FAILURE(status)) return std::nullopt;
  engine->text = utf8Text(text, status);
  engine->matcher.reset(engine->pattern->matcher(status));
  if (U_FAILURE(status)) return std::nullopt;
  engine->matcher->reset(engine->text.getAlias());
  return RegexSearch(std::move(engine));
}

std::optional<std::vector<RegexMatch>> RegexSearch::allMatches() {
  icu::RegexMatcher& matcher = *engine_->matcher;
  matcher.reset();
  std::vector<RegexMatch> matches;
  UErrorCode status = U_ZERO_ERROR;
  while (matcher.find(status)) {
    std::optional<RegexMatch> match = currentMatch(matcher);
    if (!match) return std::nullopt;
    matches.push_back(std::move(*match));
  }
  if (U_FAILURE(status)) return std::nullopt;
  return matches;
}

std::optional<RegexMatch> RegexSearch::matchAt(size_t position) {
  icu::RegexMatcher& matcher = *engine_->matcher;
  UErrorCode status = U_ZERO_ERROR;
  if (!matcher.lookingAt(static_cast<int64_t>(position), status) || U_FAILURE(status)) {
    return std::nullopt;
  }
  return currentMatch(matcher);
}

}  // namespace platform
