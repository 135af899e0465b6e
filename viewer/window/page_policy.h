// The content policy the window serves its page under, whatever the page itself declares.
#pragma once

#include <string>
#include <string_view>

namespace viewer {

// The Content-Security-Policy for a page whose own stylesheet carries `nonce`: no script,
// nothing loaded but data: images, no base address, no form target, and no style but that
// stylesheet. An empty nonce, or one that is not base64 text, allows no style at all. The
// page's own policy still applies too, so the page is shown under both.
std::string servedPagePolicy(std::string_view nonce);

}  // namespace viewer
