// The content policy the window serves its page under, whatever the page itself declares.
#pragma once

#include <string>
#include <string_view>

namespace viewer {

// The Content-Security-Policy for `page`: no script, nothing loaded but data: images, no
// base address, no form target, and no style but the page's own stylesheet, the style
// element in the head whose nonce is named here. A page without one gets no style at all.
// The page's own policy still applies too, so the page is shown under both.
std::string servedPagePolicy(std::string_view page);

}  // namespace viewer
