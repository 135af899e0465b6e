// The headings of a preview page, read from its HTML with a small scanner: the page comes
// from the converter and its markup pass, so tags are whole and attribute quotes paired.
#include "viewer/window/page_headings.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>

namespace viewer {
namespace {

constexpr size_t npos = std::string_view::npos;

// Elements whose content is text, not markup.
constexpr std::array<std::string_view, 5> kTextElements = {"script", "style", "textarea", "title",
                                                           "xmp"};

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool isAsciiLetter(char c) { return lower(c) >= 'a' && lower(c) <= 'z'; }

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool startsWithNoCase(std::string_view text, size_t at, std::string_view prefix) {
  if (text.size() - std::min(at, text.size()) < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (lower(text[at + i]) != prefix[i]) return false;
  }
  return true;
}

// Where `needle` (lower case, starting with '<') next starts, in any case.
size_t findNoCase(std::string_view text, std::string_view needle, size_t from) {
  for (size_t at = text.find('<', from); at != npos; at = text.find('<', at + 1)) {
    if (startsWithNoCase(text, at, needle)) return at;
  }
  return npos;
}

// Just past the '>' that ends the tag starting at `at`; a quote opens a value only after '='.
size_t tagEnd(std::string_view html, size_t at) {
  char quote = 0;
  bool afterEquals = false;
  for (size_t i = at + 1; i < html.size(); ++i) {
    const char c = html[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '>') {
      return i + 1;
    } else if ((c == '"' || c == '\'') && afterEquals) {
      quote = c;
    } else if (!isSpace(c)) {
      afterEquals = c == '=';
    }
  }
  return npos;
}

void appendUTF8(std::string& out, uint32_t code) {
  if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Decodes the character reference at `text[at]` ('&') onto `out` and returns the length it
// took; 0 when it is none this scanner knows (numeric ones and those the markup pass writes).
size_t decodeReference(std::string_view text, size_t at, std::string& out) {
  constexpr std::array<std::pair<std::string_view, std::string_view>, 6> kNamed = {
      {{"&amp;", "&"},
       {"&lt;", "<"},
       {"&gt;", ">"},
       {"&quot;", "\""},
       {"&apos;", "'"},
       {"&nbsp;", "\u00a0"}}};
  for (const auto& [name, character] : kNamed) {
    if (text.substr(at, name.size()) == name) {
      out += character;
      return name.size();
    }
  }
  if (text.substr(at, 2) != "&#") return 0;
  const bool hex = at + 2 < text.size() && lower(text[at + 2]) == 'x';
  size_t i = at + 2 + (hex ? 1 : 0);
  uint32_t code = 0;
  const size_t digits = i;
  for (; i < text.size() && (hex ? std::isxdigit(static_cast<unsigned char>(text[i]))
                                 : std::isdigit(static_cast<unsigned char>(text[i])));
       ++i) {
    const char c = lower(text[i]);
    code =
        std::min<uint32_t>(code * (hex ? 16 : 10) + (c <= '9' ? c - '0' : c - 'a' + 10), 0x110000);
  }
  if (i == digits || i >= text.size() || text[i] != ';') return 0;
  appendUTF8(out, code);
  return i + 1 - at;
}

// The text of `markup`: tags, comments and MathML annotations (a formula's TeX source)
// left out, references decoded, runs of white space made one space, at most the bound.
std::string textOf(std::string_view markup) {
  std::string text;
  for (size_t at = 0; at < markup.size() && text.size() <= kMaxHeadingTextBytes;) {
    const char c = markup[at];
    if (c == '<') {
      size_t end = startsWithNoCase(markup, at, "<!--") ? markup.find("-->", at)
                   : startsWithNoCase(markup, at, "<annotation")
                       ? findNoCase(markup, "</annotation", at)
                       : at;
      end = end == npos ? npos : tagEnd(markup, end);
      if (end == npos) break;
      at = end;
    } else if (size_t taken = c == '&' ? decodeReference(markup, at, text) : 0) {
      at += taken;
    } else {
      if (!isSpace(c)) {
        text += c;
      } else if (!text.empty() && text.back() != ' ') {
        text += ' ';
      }
      ++at;
    }
  }
  if (text.size() > kMaxHeadingTextBytes) {
    size_t cut = kMaxHeadingTextBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// The value of the id attribute of the start tag `tag` ("<h2 id=x>"), decoded; empty when
// there is none.
std::string idOf(std::string_view tag) {
  size_t at = 1;
  while (at < tag.size() && !isSpace(tag[at]) && tag[at] != '/' && tag[at] != '>') ++at;
  while (at < tag.size() && tag[at] != '>') {
    if (isSpace(tag[at]) || tag[at] == '/') {
      ++at;
      continue;
    }
    const size_t name = at;
    while (at < tag.size() && !isSpace(tag[at]) && tag[at] != '/' && tag[at] != '>' &&
           tag[at] != '=') {
      ++at;
    }
    const bool isId = at - name == 2 && startsWithNoCase(tag, name, "id");
    while (at < tag.size() && isSpace(tag[at])) ++at;
    if (at >= tag.size() || tag[at] != '=') continue;
    ++at;
    while (at < tag.size() && isSpace(tag[at])) ++at;
    size_t start = at;
    size_t end;
    if (at < tag.size() && (tag[at] == '"' || tag[at] == '\'')) {
      start = at + 1;
      end = std::min(tag.find(tag[at], start), tag.size());
      at = end + 1;
    } else {
      while (at < tag.size() && !isSpace(tag[at]) && tag[at] != '>') ++at;
      end = at;
    }
    if (isId) {
      std::string id;
      const std::string_view value = tag.substr(start, end - start);
      for (size_t i = 0; i < value.size();) {
        const size_t taken = value[i] == '&' ? decodeReference(value, i, id) : 0;
        if (taken == 0) id += value[i];
        i += taken == 0 ? 1 : taken;
      }
      return id;
    }
  }
  return {};
}

}  // namespace

std::vector<PageHeading> pageHeadings(std::string_view html) {
  std::vector<PageHeading> headings;
  std::vector<int> enclosing;  // the levels of the headings the next one may sit under
  // Levels whose end tag is missing from some point on: their later start tags are passed
  // over without looking for it again, which keeps the scan linear.
  std::array<bool, 7> unclosed{};
  for (size_t at = html.find('<'); at != npos && headings.size() < kMaxPageHeadings;
       at = html.find('<', at)) {
    if (startsWithNoCase(html, at, "<!--")) {
      at = html.find("-->", at + 4);
      if (at != npos) at += 3;
      continue;
    }
    const char next = at + 1 < html.size() ? html[at + 1] : '\0';
    if (!isAsciiLetter(next) && next != '/' && next != '!') {
      ++at;  // a "<" that starts no tag is text
      continue;
    }
    const size_t end = tagEnd(html, at);
    if (end == npos) break;
    size_t nameEnd = at + 1;
    while (nameEnd < end &&
           (isAsciiLetter(html[nameEnd]) || (html[nameEnd] >= '0' && html[nameEnd] <= '9'))) {
      ++nameEnd;
    }
    std::string name;
    for (size_t i = at + 1; i < nameEnd; ++i) name += lower(html[i]);
    const std::string_view tag = html.substr(at, end - at);
    at = end;
    if (std::find(kTextElements.begin(), kTextElements.end(), name) != kTextElements.end()) {
      at = findNoCase(html, "</" + name, end);
    } else if (name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6' &&
               !unclosed[name[1] - '0']) {
      const size_t close = findNoCase(html, "</" + name, end);
      PageHeading heading;
      heading.level = name[1] - '0';
      if (close == npos) {
        unclosed[heading.level] = true;
        continue;
      }
      while (!enclosing.empty() && enclosing.back() >= heading.level) enclosing.pop_back();
      heading.depth = static_cast<int>(enclosing.size());
      enclosing.push_back(heading.level);
      heading.id = idOf(tag);
      heading.text = textOf(html.substr(end, close - end));
      headings.push_back(std::move(heading));
      at = close;
    }
  }
  return headings;
}

}  // namespace viewer
