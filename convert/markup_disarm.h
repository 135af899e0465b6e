// Disarming converted HTML: what would navigate the page or connect to an address the
// document names as the page loads, which the page's policy cannot forbid.
#pragma once

#include <string>

namespace quillory {

// `html`, which a page places in the data state of its body and follows with more
// markup, with a "data-" prefix on each attribute name that a browser's reading of the
// markup would act on: http-equiv of meta (a refresh), src and srcdoc of iframe (Chromium
// connects before the policy blocks the frame) and rel of a link whose rel names a
// connection hint (preconnect, dns-prefetch). Every attribute that either a browser with
// scripting or one without it (noscript) could create is renamed; after an svg, math or
// select start tag, where only the tree says which tags switch the tokenizer, every
// reading is followed. Nothing else changes.
std::string disarmMarkup(std::string html);

}  // namespace quillory
