// The GitHub extras: which of their libraries a Markdown text needs, each loaded once.
#include <array>
#include <mutex>
#include <string>
#include <string_view>

#include "preview/preview_provider.h"

namespace quillory {
namespace {

bool always(std::string_view) { return true; }

bool holdsAlertMarker(std::string_view text) { return text.find("[!") != std::string_view::npos; }

bool holdsFootnoteLabel(std::string_view text) { return text.find("[^") != std::string_view::npos; }

// Only a fenced block names its language.
bool holdsCodeFence(std::string_view text) {
  return text.find("```") != std::string_view::npos || text.find("~~~") != std::string_view::npos;
}

// Whether a fenced block could name one of the languages (or aliases) that
// highlight-languages adds; highlight.js matches names in any case.
bool holdsFurtherLanguage(std::string_view text) {
  if (!holdsCodeFence(text)) return false;
  std::string lower(text);
  for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
  for (std::string_view name :
       {"jinja", "django", "vue", "handlebars", "hbs", "htmlbars", "docker", "fish", "flow"})
    if (lower.find(name) != std::string::npos) return true;
  return false;
}

// Whether `text` holds ":name:" where name could be an emoji's: GitHub's names are made of
// letters, digits, "_", "+" and "-" (and are matched in any case).
bool holdsEmojiName(std::string_view text) {
  auto isNameCharacter = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '+' || c == '-';
  };
  size_t runStart = std::string_view::npos;  // just after the latest colon
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ':') {
      if (runStart != std::string_view::npos && i > runStart) return true;
      runStart = i + 1;
    } else if (!isNameCharacter(text[i])) {
      runStart = std::string_view::npos;
    }
  }
  return false;
}

// Whether the text opens with a YAML front-matter fence (after a byte-order mark, if any).
bool opensWithYamlFence(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  return text.starts_with("---");
}

struct Library {
  const char* resource;
  bool (*neededFor)(std::string_view);
};

// In the order they run. The code highlighter's wrapper always runs: with it every code
// block ends alike, highlighted or not.
constexpr std::array kLibraries = {
    Library{"marked-gfm-heading-id", always},
    Library{"marked-alert", holdsAlertMarker},
    Library{"marked-footnote", holdsFootnoteLabel},
    Library{"marked-highlight", always},
    Library{"highlight.min", holdsCodeFence},
    Library{"highlight-languages", holdsFurtherLanguage},
    Library{"marked-emoji", holdsEmojiName},
    Library{"github-emoji", holdsEmojiName},
    Library{"js-yaml", opensWithYamlFence},
};

}  // namespace

std::vector<const std::string*> PreviewProvider::githubLibrariesFor(const std::string& markdown) {
  // Each loaded at its first use, never freed (as the other resource texts).
  struct Loaded {
    std::once_flag once;
    std::string text;
  };
  static auto* const texts = new std::array<Loaded, kLibraries.size()>;
  std::vector<const std::string*> needed;
  for (size_t i = 0; i < kLibraries.size(); ++i) {
    if (!kLibraries[i].neededFor(markdown)) continue;
    Loaded& library = (*texts)[i];
    std::call_once(library.once,
                   [&] { library.text = loadResource(kLibraries[i].resource, "js"); });
    needed.push_back(&library.text);
  }
  return needed;
}

}  // namespace quillory
