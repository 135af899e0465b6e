// Fuzzes the plain-text fallback: any bytes come out as one pre element whose content
// holds no markup and unescapes to exactly those bytes.
#include <cstdint>
#include <string>

#include "html_unescaping.h"
#include "provider_access.h"
#include "requirement.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using fuzzing::require;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string html = quillory::PreviewProviderInternals::escapedPre(text);

  require(html.starts_with("<pre>") && html.ends_with("</pre>"), "wrapped in one pre element");
  const std::string_view content = std::string_view(html).substr(5, html.size() - 11);
  require(fuzzing::unescaped(content) == text, "the content unescapes to the text");
  return 0;
}
