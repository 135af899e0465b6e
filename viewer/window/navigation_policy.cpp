// Which navigations the preview window lets happen.
#include "viewer/window/navigation_policy.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace viewer {
namespace {

// Schemes a clicked link may hand to the desktop: web pages and mail. Everything else
// (file:, data:, javascript:, schemes of local programs) stays closed.
constexpr std::array<std::string_view, 3> kBrowserSchemes = {"http", "https", "mailto"};

std::string lowerSchemeOf(std::string_view uri) {
  size_t colon = uri.find(':');
  if (colon == std::string_view::npos || colon == 0) return {};
  std::string scheme(uri.substr(0, colon));
  for (char c : scheme) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') {
      return {};
    }
  }
  std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return scheme;
}

}  // namespace

NavigationVerdict decideNavigation(const Navigation& navigation, std::string_view pageURI) {
  std::string_view uri = navigation.uri;
  size_t hash = uri.find('#');
  std::string_view withoutFragment = uri.substr(0, hash);

  if (withoutFragment == pageURI && !navigation.newWindow) {
    if (navigation.loadExpected) return NavigationVerdict::showPage;
    if (hash != std::string_view::npos && navigation.userClickedLink) {
      return NavigationVerdict::moveWithinPage;
    }
    return NavigationVerdict::refuse;
  }
  if (navigation.userClickedLink) {
    std::string scheme = lowerSchemeOf(uri);
    if (std::find(kBrowserSchemes.begin(), kBrowserSchemes.end(), scheme) !=
        kBrowserSchemes.end()) {
      return NavigationVerdict::openInBrowser;
    }
  }
  return NavigationVerdict::refuse;
}

}  // namespace viewer
