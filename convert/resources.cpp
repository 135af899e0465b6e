// Resource loading: the two script libraries and the stylesheet, each read once.
#include "platform/files.h"
#include "platform/text.h"
#include "preview/preview_provider.h"

namespace quillory {
std::string PreviewProvider::loadResource(const std::string& name, const std::string& extension) {
  // The bundle is that of the binary that holds PreviewProvider.
  auto bundle = platform::Bundle::forBinaryContaining(reinterpret_cast<const void*>(&loadResource));
  auto url = bundle.urlForResource(name, extension);
  if (!url) return {};
  try {
    std::string text = platform::readFile(*url);
    return platform::isWellFormedUTF8(text) ? text : std::string();
  } catch (const platform::FileReadError&) {
    return {};
  }
}

// Function-local statics: the first caller loads, concurrent first callers wait for
// that one load, and later callers read the held text without locking. The texts are
// never freed: a conversion still running while the process exits may read them.
const std::string& PreviewProvider::markedSource() {
  static const std::string* const text = new std::string(loadResource("marked.min", "js"));
  return *text;
}

const std::string& PreviewProvider::katexSource() {
  static const std::string* const text = new std::string(loadResource("katex.min", "js"));
  return *text;
}

const std::string& PreviewProvider::cssSource() {
  static const std::string* const text = new std::string(loadResource("preview", "css"));
  return *text;
}

}  // namespace quillory
