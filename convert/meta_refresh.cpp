// Disarming <meta http-equiv> in converted HTML: a refresh would send the page to any
// address as it loads, which the page's policy cannot forbid.
#include "convert/meta_refresh.h"

#include <string_view>
#include <vector>

namespace quillory {
namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

bool equalsIgnoringCase(std::string_view text, std::string_view lowerCase) {
  if (text.size() != lowerCase.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (lower(text[i]) != lowerCase[i]) return false;
  }
  return true;
}

// Whether a meta start tag begins at `at` ("<meta" and then the end of the tag name).
bool metaTagAt(std::string_view html, size_t at) {
  if (!equalsIgnoringCase(html.substr(at, 5), "<meta")) return false;
  return at + 5 == html.size() || isSpace(html[at + 5]) || html[at + 5] == '/' ||
         html[at + 5] == '>';
}

// Reads the attributes of the tag whose name ends at `at`, the way the HTML tokenizer
// does, noting where each http-equiv name begins. Returns where the tag ends.
size_t scanAttributes(std::string_view html, size_t at, std::vector<size_t>& httpEquivNames) {
  const size_t n = html.size();
  for (;;) {
    while (at < n && (isSpace(html[at]) || html[at] == '/')) ++at;
    if (at >= n || html[at] == '>') return at;
    const size_t name = at;
    if (html[at] == '=') ++at;  // a leading "=" belongs to the name
    while (at < n && !isSpace(html[at]) && html[at] != '/' && html[at] != '>' && html[at] != '=') {
      ++at;
    }
    if (equalsIgnoringCase(html.substr(name, at - name), "http-equiv")) {
      httpEquivNames.push_back(name);
    }
    while (at < n && isSpace(html[at])) ++at;
    if (at >= n || html[at] != '=') continue;
    ++at;
    while (at < n && isSpace(html[at])) ++at;
    if (at < n && (html[at] == '"' || html[at] == '\'')) {
      size_t close = html.find(html[at], at + 1);
      at = close == std::string_view::npos ? n : close + 1;
    } else {
      while (at < n && !isSpace(html[at]) && html[at] != '>') ++at;
    }
  }
}

}  // namespace

std::string disarmMetaRefresh(std::string html) {
  std::vector<size_t> httpEquivNames;
  for (size_t at = html.find('<'); at != std::string::npos; at = html.find('<', at + 1)) {
    if (metaTagAt(html, at)) at = scanAttributes(html, at + 5, httpEquivNames);
    if (at >= html.size()) break;
  }
  if (httpEquivNames.empty()) return html;
  std::string disarmed;
  disarmed.reserve(html.size() + 5 * httpEquivNames.size());
  size_t copied = 0;
  for (size_t name : httpEquivNames) {
    disarmed.append(html, copied, name - copied);
    disarmed += "data-";
    copied = name;
  }
  disarmed.append(html, copied);
  return disarmed;
}

}  // namespace quillory
