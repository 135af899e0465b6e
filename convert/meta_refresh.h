// Disarming <meta http-equiv> in converted HTML: a refresh would send the page to any
// address as it loads, which the page's policy cannot forbid.
#pragma once

#include <string>

namespace quillory {

// `html` with every http-equiv attribute of a meta start tag renamed data-http-equiv,
// as a browser's tokenizer reads the tag. Nothing else changes.
std::string disarmMetaRefresh(std::string html);

}  // namespace quillory
