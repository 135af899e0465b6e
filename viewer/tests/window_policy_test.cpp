// Which navigations the window lets happen, and the policy it serves its page under.
#include <gtest/gtest.h>

#include "viewer/window/navigation_policy.h"
#include "viewer/window/page_policy.h"

namespace viewer {
namespace {

using enum NavigationVerdict;
constexpr const char* kPage = "quillory-view:page";

TEST(NavigationPolicy, DecidesEachNavigation) {
  // Its own page only when asked for (not refreshing or opening itself elsewhere).
  const struct {
    std::string uri;
    bool clicked, newWindow, expected;
    NavigationVerdict verdict;
  } cases[] = {{kPage, false, false, true, showPage},
               {"quillory-view:page#usage", false, false, true, showPage},
               {kPage, false, false, false, refuse},
               {kPage, true, false, false, refuse},
               {kPage, true, true, true, refuse},
               {"quillory-view:page2", false, false, true, refuse},
               {"quillory-view:other", true, false, true, refuse},
               {"quillory-view:page#section", true, false, false, moveWithinPage},
               {"quillory-view:page#section", false, false, false, refuse},
               {"quillory-view:page#section", true, true, false, refuse}};
  for (const auto& c : cases) {
    EXPECT_EQ(decideNavigation({c.uri, c.clicked, c.newWindow, c.expected}, kPage), c.verdict)
        << c.uri << " clicked " << c.clicked << " new window " << c.newWindow;
  }
  // Web and mail links open in the browser when clicked, not on a refresh, redirect or form; others
  // never.
  const auto link = [](const char* uri, NavigationVerdict whenClicked) {
    for (bool flag : {false, true}) {
      EXPECT_EQ(decideNavigation({uri, true, flag, false}, kPage), whenClicked) << uri;
      EXPECT_EQ(decideNavigation({uri, false, false, flag}, kPage), refuse) << uri;
    }
  };
  for (const char* uri : {"http://example.com/", "https://example.com/a?b#c",
                          "HTTPS://EXAMPLE.COM/", "mailto:someone@example.com"}) {
    link(uri, openInBrowser);
  }
  for (const char* uri : {"file:///etc/passwd", "data:text/html,x", "javascript:alert(1)",
                          "about:blank", "ftp://example.com/", "notes.md", "", ":http",
                          "ht tp://example.com/", "httpx://example.com/"}) {
    link(uri, refuse);
  }
}

TEST(PagePolicy, AllowsOnlyThePagesOwnStylesheet) {
  const std::string rest = "; script-src 'none'; base-uri 'none'; form-action 'none'";
  const std::string noStyle = "default-src 'none'; img-src data:; style-src 'none'" + rest;
  for (const auto& [nonce, policy] : std::initializer_list<std::pair<const char*, std::string>>{
           {"aB3+/x=_-", "default-src 'none'; img-src data:; style-src 'nonce-aB3+/x=_-'" + rest},
           {"a'; style-src 'unsafe-inline", noStyle},
           {"", noStyle}}) {
    EXPECT_EQ(servedPagePolicy(nonce), policy) << nonce;
  }
}

}  // namespace
}  // namespace viewer
