// Disarming converted HTML: attributes that would navigate the page or open a connection
// as it loads are renamed, wherever a browser's tokenizer would read them in a tag.
#include "convert/markup_disarm.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <set>
#include <string_view>
#include <vector>

namespace quillory {
namespace {

constexpr size_t kNone = std::string_view::npos;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

bool equalsIgnoringCase(std::string_view text, std::string_view lowerCase) {
  if (text.size() != lowerCase.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (lower(text[i]) != lowerCase[i]) return false;
  }
  return true;
}

bool hasAt(std::string_view html, size_t at, std::string_view lowerCase) {
  return at <= html.size() && equalsIgnoringCase(html.substr(at, lowerCase.size()), lowerCase);
}

// Whether `name` (ASCII case-insensitive) and then whitespace, "/" or ">" stand at `at`:
// how the end tag of a text element, or "<script" inside an escaped script, is told.
bool nameAt(std::string_view html, size_t at, std::string_view lowerCase) {
  const size_t end = at + lowerCase.size();
  return end < html.size() && hasAt(html, at, lowerCase) &&
         (isSpace(html[end]) || html[end] == '/' || html[end] == '>');
}

// Whether a rel value may name a hint that connects: a character reference could spell
// one, and a value that the fragment's end cuts goes on in text we do not see.
bool namesConnectionHint(std::string_view value, bool cut) {
  if (cut || value.find('&') != kNone) return true;
  for (size_t at = 0; at < value.size();) {
    while (at < value.size() && isSpace(value[at])) ++at;
    size_t end = at;
    while (end < value.size() && !isSpace(value[end])) ++end;
    const std::string_view token = value.substr(at, end - at);
    if (equalsIgnoringCase(token, "preconnect") || equalsIgnoringCase(token, "dns-prefetch")) {
      return true;
    }
    at = end;
  }
  return false;
}

bool always(std::string_view, bool) { return true; }

// An attribute that a start tag may not keep when the value of the first attribute of
// that name (the one a browser heeds) calls for it; every attribute of that name is then
// renamed, so that no later duplicate takes the first one's place.
struct Rule {
  std::string_view tag;
  std::string_view attribute;
  bool (*applies)(std::string_view value, bool cut);
};
constexpr std::array kRules = {
    Rule{"meta", "http-equiv", always},  // a refresh navigates the page as it loads
    Rule{"iframe", "src", always},       // Chromium connects before the policy blocks it
    Rule{"iframe", "srcdoc", always},    // a document of its own, which we do not read
    Rule{"link", "rel", namesConnectionHint},
};

// Reads the attributes of the tag whose name ends at `at`, the way the HTML tokenizer
// does, handing each to onAttribute(name start, name, value, value cut by the end).
// Returns where the tag ends: its ">" or the end of the text.
template <typename OnAttribute>
size_t scanAttributes(std::string_view html, size_t at, OnAttribute&& onAttribute) {
  const size_t n = html.size();
  for (;;) {
    while (at < n && (isSpace(html[at]) || html[at] == '/')) ++at;
    if (at >= n || html[at] == '>') return at;
    const size_t name = at;
    if (html[at] == '=') ++at;  // a leading "=" belongs to the name
    while (at < n && !isSpace(html[at]) && html[at] != '/' && html[at] != '>' && html[at] != '=') {
      ++at;
    }
    const std::string_view attribute = html.substr(name, at - name);
    while (at < n && isSpace(html[at])) ++at;
    if (at >= n || html[at] != '=') {
      onAttribute(name, attribute, std::string_view(), at >= n);
      continue;
    }
    ++at;
    while (at < n && isSpace(html[at])) ++at;
    size_t value = at;
    if (at < n && (html[at] == '"' || html[at] == '\'')) {
      const size_t close = html.find(html[at], ++value);
      at = close == kNone ? n : close + 1;
      onAttribute(name, attribute, html.substr(value, std::min(close, n) - value), close == kNone);
    } else {
      while (at < n && !isSpace(html[at]) && html[at] != '>') ++at;
      onAttribute(name, attribute, html.substr(value, at - value), at >= n);
    }
  }
}

// Start tags after which the tokenizer reads text up to the element's own end tag (for
// noscript only when scripting is on); plaintext has none.
constexpr std::array<std::string_view, 10> kTextElements = {
    "title",   "textarea", "style",    "xmp",    "iframe",
    "noembed", "noframes", "noscript", "script", "plaintext"};
constexpr uint8_t kNoscript = 7;
constexpr uint8_t kScript = 8;
constexpr uint8_t kPlaintext = 9;
constexpr uint8_t kNotText = kTextElements.size();

enum class Mode : uint8_t { kData, kText, kScript, kScriptEscaped, kScriptDoubleEscaped, kCData };

// One way of reading the markup: where it stands and in which tokenizer state. A script
// reading stands on a "<", where the dashes before it no longer matter.
struct Reading {
  size_t at = 0;
  Mode mode = Mode::kData;
  uint8_t element = kNotText;  // kText: the element whose end tag ends the text
  bool foreign = false;        // after svg, math or select start tags, which switch is a guess
  auto operator<=>(const Reading&) const = default;
};

// Follows every reading of the markup from its start, noting where each attribute name
// to rename begins. Readings are followed in order of position, and two that reach the
// same state at the same place go on as one, so the work stays linear in the text.
class Reader {
 public:
  explicit Reader(std::string_view html) : html_(html) {}

  std::vector<size_t> renames() && {
    pending_.insert(Reading{});
    while (!pending_.empty()) {
      Reading reading = *pending_.begin();
      pending_.erase(pending_.begin());
      bool going;
      do {
        going = step(reading);
      } while (going && (pending_.empty() || reading.at < pending_.begin()->at));
      if (going) pending_.insert(reading);
    }
    std::sort(renames_.begin(), renames_.end());
    renames_.erase(std::unique(renames_.begin(), renames_.end()), renames_.end());
    return std::move(renames_);
  }

 private:
  // Moves `reading` past the next token or text; false when it has nothing more to read.
  bool step(Reading& reading) {
    switch (reading.mode) {
      case Mode::kData:
        return data(reading);
      case Mode::kText:
        return text(reading);
      case Mode::kCData:
        return skipTo(reading, html_.find("]]>", reading.at), 3);
      default:
        return script(reading);
    }
  }

  bool data(Reading& reading) {
    const size_t open = html_.find('<', reading.at);
    if (open == kNone || open + 1 >= html_.size()) return false;
    const char next = html_[open + 1];
    if (isAlpha(next)) return startTag(reading, open + 1);
    if (next == '/') {
      if (open + 2 < html_.size() && isAlpha(html_[open + 2])) {
        return endTag(reading, tagNameEnd(open + 2));
      }
      if (open + 2 < html_.size() && html_[open + 2] == '>') return skipTo(reading, open + 2, 1);
      return skipTo(reading, html_.find('>', open + 2), 1);  // a bogus comment
    }
    if (next == '?') return skipTo(reading, html_.find('>', open + 1), 1);
    if (next == '!') return declaration(reading, open + 2);
    reading.at = open + 1;
    return true;
  }

  // After "<!": a comment, a doctype, a CDATA section (in svg or math) or a bogus comment.
  bool declaration(Reading& reading, size_t at) {
    if (hasAt(html_, at, "--")) return skipTo(reading, commentEnd(at + 2), 1);
    if (hasAt(html_, at, "doctype")) return skipTo(reading, html_.find('>', at + 7), 1);
    if (reading.foreign && html_.substr(at, 7) == "[CDATA[") {
      pending_.insert(Reading{at + 7, Mode::kCData, kNotText, true});
    }
    return skipTo(reading, html_.find('>', at), 1);
  }

  // Where the comment whose text begins at `at` ends: its last ">" or nothing.
  size_t commentEnd(size_t at) const {
    if (hasAt(html_, at, ">")) return at;
    if (hasAt(html_, at, "->")) return at + 1;
    for (at = html_.find("--", at); at != kNone; at = html_.find("--", at + 1)) {
      if (hasAt(html_, at + 2, ">")) return at + 2;
      if (hasAt(html_, at + 2, "!>")) return at + 3;
    }
    return kNone;
  }

  size_t tagNameEnd(size_t at) const {
    while (at < html_.size() && !isSpace(html_[at]) && html_[at] != '/' && html_[at] != '>') {
      ++at;
    }
    return at;
  }

  bool startTag(Reading& reading, size_t name) {
    const size_t nameEnd = tagNameEnd(name);
    const std::string_view tag = html_.substr(name, nameEnd - name);
    std::array<int8_t, kRules.size()> decided{};  // 0 not yet, 1 rename, -1 keep
    const size_t end = scanAttributes(
        html_, nameEnd,
        [&](size_t at, std::string_view attribute, std::string_view value, bool cut) {
          for (size_t r = 0; r < kRules.size(); ++r) {
            if (!equalsIgnoringCase(attribute, kRules[r].attribute) ||
                !equalsIgnoringCase(tag, kRules[r].tag)) {
              continue;
            }
            if (decided[r] == 0) decided[r] = kRules[r].applies(value, cut) ? 1 : -1;
            if (decided[r] == 1) renames_.push_back(at);
          }
        });
    // A tag that the fragment leaves open is finished by the markup that follows it.
    if (end >= html_.size()) return false;
    reading.at = end + 1;
    if (equalsIgnoringCase(tag, "svg") || equalsIgnoringCase(tag, "math") ||
        equalsIgnoringCase(tag, "select")) {
      reading.foreign = true;
    }
    const auto element = static_cast<uint8_t>(
        std::find_if(kTextElements.begin(), kTextElements.end(),
                     [&](std::string_view element) { return equalsIgnoringCase(tag, element); }) -
        kTextElements.begin());
    if (element == kNotText) return true;
    // Both readings when the element may not switch the tokenizer: noscript is markup to a
    // browser without scripting, and in svg or math every such tag is a foreign one.
    const bool both = reading.foreign || element == kNoscript;
    if (element == kPlaintext) return both;
    const Reading inside{reading.at, element == kScript ? Mode::kScript : Mode::kText, element,
                         reading.foreign};
    if (both) {
      pending_.insert(inside);
    } else {
      reading = inside;
    }
    return true;
  }

  // An end tag's attributes are read like any tag's; then the data state follows.
  bool endTag(Reading& reading, size_t nameEnd) {
    const size_t end = scanAttributes(html_, nameEnd, [](size_t, auto, auto, bool) {});
    reading.mode = Mode::kData;
    reading.element = kNotText;
    return skipTo(reading, end < html_.size() ? end : kNone, 1);
  }

  // RCDATA and RAWTEXT: text up to the element's end tag, followed one "<" at a time.
  bool text(Reading& reading) {
    const size_t open = html_.find('<', reading.at);
    if (open == kNone) return false;
    const std::string_view name = kTextElements[reading.element];
    if (hasAt(html_, open + 1, "/") && nameAt(html_, open + 2, name)) {
      return endTag(reading, open + 2 + name.size());
    }
    reading.at = open + 1;
    return true;
  }

  // Script data with its escaped ("<!--") and double-escaped ("<!--<script") states.
  bool script(Reading& reading) {
    const size_t open = reading.mode == Mode::kScript ? html_.find('<', reading.at) : reading.at;
    if (open == kNone) return false;
    size_t at = open + 1;
    const bool endTagNext = hasAt(html_, at, "/") && nameAt(html_, at + 1, "script");
    switch (reading.mode) {
      case Mode::kScript:
        if (endTagNext) return endTag(reading, open + 8);
        if (hasAt(html_, at, "!--")) {
          reading.mode = Mode::kScriptEscaped;
          return toNextOpen(reading, open + 4, 2);
        }
        break;
      case Mode::kScriptEscaped:
        if (endTagNext) return endTag(reading, open + 8);
        if (nameAt(html_, at, "script")) {
          reading.mode = Mode::kScriptDoubleEscaped;
          at = open + 8;
        }
        break;
      default:
        if (endTagNext) {
          reading.mode = Mode::kScriptEscaped;
          at = open + 9;
        }
        break;
    }
    return toNextOpen(reading, at, 0);
  }

  // Reads on from `at`, after `dashes` dashes, to the next "<": in either escaped state a
  // "-->" returns to plain script data.
  bool toNextOpen(Reading& reading, size_t at, int dashes) {
    for (; reading.mode != Mode::kScript && at < html_.size() && html_[at] != '<'; ++at) {
      if (html_[at] == '>' && dashes >= 2) reading.mode = Mode::kScript;
      dashes = html_[at] == '-' ? dashes + 1 : 0;
    }
    if (reading.mode == Mode::kScript) at = html_.find('<', at);
    return skipTo(reading, at < html_.size() ? at : kNone, 0);
  }

  // Moves `reading` to `past` characters beyond `at`, or ends it when `at` is kNone.
  static bool skipTo(Reading& reading, size_t at, size_t past) {
    if (at == kNone) return false;
    reading.at = at + past;
    if (reading.mode == Mode::kCData) reading.mode = Mode::kData;
    return true;
  }

  std::string_view html_;
  std::set<Reading> pending_;
  std::vector<size_t> renames_;
};

}  // namespace

std::string disarmMarkup(std::string html) {
  const std::vector<size_t> renames = Reader(html).renames();
  if (renames.empty()) return html;
  std::string disarmed;
  disarmed.reserve(html.size() + 5 * renames.size());
  size_t copied = 0;
  for (size_t name : renames) {
    disarmed.append(html, copied, name - copied);
    disarmed += "data-";
    copied = name;
  }
  disarmed.append(html, copied);
  return disarmed;
}

}  // namespace quillory
