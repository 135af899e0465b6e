// Script-engine conversion: Markdown to an HTML fragment by marked (and KaTeX) in a
// fresh script context, with the plain-text fallback when nothing usable comes back.
#include <string_view>

#include "convert/markup_disarm.h"
#include "platform/limits.h"
#include "platform/script_context.h"
#include "preview/preview_provider.h"

namespace quillory {
namespace embedded {
extern const std::string_view rendererScriptText;  // convert/renderer.js, compiled in
}

namespace {

const std::string_view rendererScript = embedded::rendererScriptText;

}  // namespace

std::string PreviewProvider::markdownToHTML(const std::string& markdown) const {
  auto context = platform::ScriptContext::create(options_.timeLimit);
  if (!context) return escapedPre(markdown);

  context->evaluateScript(markedSource());
  const bool github = options_.extras == Extras::github;
  // GitHub's fenced math holds no "$".
  const bool hasMath = markdown.find('$') != std::string::npos ||
                       (github && (markdown.find("```math") != std::string::npos ||
                                   markdown.find("~~~math") != std::string::npos));
  if (hasMath) context->evaluateScript(katexSource());
  if (github) {
    for (const std::string* library : githubLibrariesFor(markdown))
      context->evaluateScript(*library);
  }
  context->setGlobal("MD_SRC", markdown);
  context->setGlobal("HAS_MATH", hasMath);
  context->setGlobal("GITHUB", github);

  if (auto result = context->evaluateScript(rendererScript)) {
    auto html = result->toString(limits::fragmentBytes);
    // The time limit counts until the fragment is in hand, its copy out of the engine too.
    if (html && !html->empty() && *html != "null" && !context->timeLimitPassed()) {
      return disarmMarkup(std::move(*html));
    }
  }
  return escapedPre(markdown);
}

// The plain-text fallback: the source itself, HTML-escaped, in a pre element.
std::string PreviewProvider::escapedPre(const std::string& text) {
  std::string html = "<pre>";
  html.reserve(text.size() + text.size() / 8 + 11);
  for (char c : text) {
    switch (c) {
      case '&':
        html += "&amp;";
        break;
      case '<':
        html += "&lt;";
        break;
      case '>':
        html += "&gt;";
        break;
      default:
        html += c;
    }
  }
  html += "</pre>";
  return html;
}

}  // namespace quillory
