// Fuzzes the plain-text fallback: any bytes come out as one pre element whose content
// holds no markup and unescapes to exactly those bytes.
#include <cstdint>

#include "harness.h"
#include "provider_access.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string html = quillory::PreviewProviderInternals::escapedPre(text);
  fuzzing::require(html.starts_with("<pre>") && html.ends_with("</pre>"), "one pre element");
  fuzzing::require(fuzzing::unescaped(std::string_view(html).substr(5, html.size() - 11)) == text,
                   "the content unescapes to the text");
  return 0;
}
