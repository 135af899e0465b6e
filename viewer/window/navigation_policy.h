// Which navigations the preview window lets happen: only its own page, and links the
// user clicked, which go to the web browser instead.
#pragma once

#include <string>
#include <string_view>

namespace viewer {

struct Navigation {
  std::string uri;
  bool userClickedLink = false;  // a click by the user, not a redirect, refresh or form
  bool newWindow = false;        // the page asked for a new window (target="_blank")
  bool loadExpected = false;     // the window itself asked for its page to be (re)loaded
};

enum class NavigationVerdict {
  showPage,        // the page itself, loaded because the window asked for it
  moveWithinPage,  // a link to an anchor of the page that is shown
  openInBrowser,   // a clicked web or mail link: hand it to the desktop
  refuse,          // anything else
};

NavigationVerdict decideNavigation(const Navigation& navigation, std::string_view pageURI);

}  // namespace viewer
