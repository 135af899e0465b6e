// Script-engine conversion: Markdown to an HTML fragment by marked (and KaTeX) in a
// fresh script context, with the plain-text fallback when nothing usable comes back.
#include <string_view>

#include "convert/markup_disarm.h"
#include "platform/script_context.h"
#include "preview/preview_provider.h"

namespace quillory {
namespace embedded {
extern const std::string_view rendererScriptText;  // convert/renderer.js, compiled in
}

namespace {

const std::string_view rendererScript = embedded::rendererScriptText;

// The longest fragment taken from the renderer. A few lines of Markdown can make
// gigabytes of HTML (one long link target referenced a million times); past this the
// document is shown as text, so what follows the conversion (the disarm, the image scan,
// the page, the window's layout) stays bounded too. Real documents come nowhere near it:
// the largest source, 4,000,000 bytes, makes a few times its size at most.
constexpr size_t kMaxFragmentBytes = 64 * 1024 * 1024;

}  // namespace

std::string PreviewProvider::markdownToHTML(const std::string& markdown) const {
  auto context = platform::ScriptContext::create();
  if (!context) return escapedPre(markdown);
  context->setExceptionHandler([](platform::ScriptContext&, const platform::ScriptValue&) {});

  context->evaluateScript(markedSource());
  const bool hasMath = markdown.find('$') != std::string::npos;
  if (hasMath) context->evaluateScript(katexSource());
  if (extras_ == Extras::github) {
    for (const std::string* library : githubLibrariesFor(markdown))
      context->evaluateScript(*library);
  }
  context->setGlobal("MD_SRC", markdown);
  context->setGlobal("HAS_MATH", hasMath);
  context->setGlobal("GITHUB", extras_ == Extras::github);

  if (auto result = context->evaluateScript(rendererScript)) {
    auto html = result->toString(kMaxFragmentBytes);
    // The time limit counts until the fragment is in hand, its copy out of the engine too.
    if (html && !html->empty() && *html != "null" && !context->timeLimitPassed()) {
      return disarmMarkup(std::move(*html));
    }
  }
  return escapedPre(markdown);
}

}  // namespace quillory
