// A WebKit content rule list that blocks every load except data: URIs and the page.
#pragma once

#include <webkit/webkit.h>

#include <functional>
#include <string>

namespace viewer {

// Compiles the rule list and adds it to `manager`; `done` then runs on the main thread
// with the empty string, or with the reason the rules could not be put in place.
void installContentFilter(WebKitUserContentManager* manager, const std::string& pageScheme,
                          std::function<void(const std::string& failure)> done);

}  // namespace viewer
