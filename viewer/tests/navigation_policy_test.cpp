// The preview window's navigation rules: its own page when it asked for it, anchors of
// that page, clicked web and mail links to the browser, and nothing else.
#include "viewer/navigation_policy.h"

#include <gtest/gtest.h>

namespace viewer {
namespace {

constexpr const char* kPage = "quillory-view:page";

NavigationVerdict decide(std::string uri, bool clicked, bool expected = false,
                         bool newWindow = false) {
  return decideNavigation(Navigation{std::move(uri), clicked, newWindow, expected}, kPage);
}

TEST(NavigationPolicy, ShowsThePageOnlyWhenTheWindowAskedForIt) {
  EXPECT_EQ(decide(kPage, false, true), NavigationVerdict::showPage);
  // A reload after an anchor was followed carries the anchor.
  EXPECT_EQ(decide("quillory-view:page#usage", false, true), NavigationVerdict::showPage);
  // The page reloading itself (a refresh) or opening itself elsewhere is refused.
  EXPECT_EQ(decide(kPage, false), NavigationVerdict::refuse);
  EXPECT_EQ(decide(kPage, true), NavigationVerdict::refuse);
  EXPECT_EQ(decide(kPage, true, true, true), NavigationVerdict::refuse);
  // Other addresses under the page's scheme are not the page.
  EXPECT_EQ(decide("quillory-view:page2", false, true), NavigationVerdict::refuse);
  EXPECT_EQ(decide("quillory-view:other", true, true), NavigationVerdict::refuse);
}

TEST(NavigationPolicy, FollowsClickedAnchorsWithinThePage) {
  EXPECT_EQ(decide("quillory-view:page#section", true), NavigationVerdict::moveWithinPage);
  EXPECT_EQ(decide("quillory-view:page#section", false), NavigationVerdict::refuse);
  EXPECT_EQ(decide("quillory-view:page#section", true, false, true), NavigationVerdict::refuse);
}

TEST(NavigationPolicy, HandsClickedWebAndMailLinksToTheBrowser) {
  for (const char* uri : {"http://example.com/", "https://example.com/a?b#c",
                          "HTTPS://EXAMPLE.COM/", "mailto:someone@example.com"}) {
    EXPECT_EQ(decide(uri, true), NavigationVerdict::openInBrowser) << uri;
    EXPECT_EQ(decide(uri, true, false, true), NavigationVerdict::openInBrowser) << uri;
    // Without the user's click (a refresh, a redirect, a form) nothing opens.
    EXPECT_EQ(decide(uri, false), NavigationVerdict::refuse) << uri;
    EXPECT_EQ(decide(uri, false, true), NavigationVerdict::refuse) << uri;
  }
}

TEST(NavigationPolicy, RefusesEveryOtherScheme) {
  for (const char* uri : {"file:///etc/passwd", "data:text/html,<p>x</p>", "javascript:alert(1)",
                          "about:blank", "ftp://example.com/", "ssh://host", "notes.md", "",
                          ":http", "ht tp://example.com/", "httpx://example.com/"}) {
    EXPECT_EQ(decide(uri, true), NavigationVerdict::refuse) << uri;
  }
}

}  // namespace
}  // namespace viewer
