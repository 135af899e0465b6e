// Which navigations the window lets happen, the policy it serves its page under, and the
// headings its outline lists.
#include <gtest/gtest.h>

#include "viewer/window/navigation_policy.h"
#include "viewer/window/page_headings.h"
#include "viewer/window/page_policy.h"

namespace viewer {
namespace {

using enum NavigationVerdict;
constexpr const char* kPage = "quillory-view://document/docs/READ%20ME.md";

TEST(NavigationPolicy, DecidesEachNavigation) {
  // Its own page only when asked for (not refreshing itself); opened elsewhere when clicked.
  const struct {
    std::string uri;
    bool clicked, newWindow, expected;
    NavigationVerdict verdict;
  } cases[] = {
      {kPage, false, false, true, showPage},
      {"quillory-view://document/docs/READ%20ME.md#usage", false, false, true, showPage},
      {kPage, false, false, false, refuse},
      {kPage, true, false, false, refuse},
      {kPage, true, true, true, openLocalInNewWindow},
      {"quillory-view://document/docs/READ%20ME.md2", false, false, true, refuse},
      {"quillory-view:other", true, false, true, refuse},
      {"quillory-view://document/docs/READ%20ME.md#a", true, false, false, moveWithinPage},
      {"quillory-view://document/docs/READ%20ME.md#a", false, false, false, refuse},
      {"quillory-view://document/docs/READ%20ME.md#a", true, true, false, openLocalInNewWindow},
      // Other local files: followed by the window when clicked, never otherwise.
      {"quillory-view://document/docs/guide.md#a", true, false, false, openLocal},
      {"quillory-view://document/docs/guide.md", true, true, false, openLocalInNewWindow},
      {"quillory-view://document/docs/guide.md", false, false, true, refuse},
      {"file:///etc/passwd", true, false, false, openLocal},
      {"file:///etc/passwd", false, false, false, refuse}};
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
  for (const char* uri : {"file://example.com/x.md", "data:text/html,x", "javascript:alert(1)",
                          "about:blank", "ftp://example.com/", "notes.md", "", ":http",
                          "ht tp://example.com/", "httpx://example.com/"}) {
    link(uri, refuse);
  }
}

TEST(NavigationPolicy, FindsTheLocalFileOfALink) {
  const struct {
    std::string uri, path, fragment;
  } cases[] = {{documentPageURI("/a b/#%ü.md"), "/a b/#%ü.md", ""},
               {"quillory-view://document/d/../e/./x%2Emd?q=1#F%C3%BC%20n", "/e/x.md", "Fü n"},
               {"FILE:///d//x.md#", "/d/x.md", ""},
               {"file://LocalHost/x.md", "/x.md", ""},
               {"file:/x.md#a", "/x.md", "a"}};
  for (const auto& c : cases) {
    const auto target = localTargetOf(c.uri);
    ASSERT_TRUE(target) << c.uri;
    EXPECT_EQ(std::pair(target->path, target->fragment), std::pair(c.path, c.fragment)) << c.uri;
  }
  for (const char* uri :
       {"file://host/x.md", "file://localhost", "file:x.md", "notes.md", "quillory-view://document",
        "quillory-view:blank", "quillory-view://document/a%2", "quillory-view://document/a%00b",
        "quillory-view://document/a#%zz", "https://example.com/x.md"}) {
    EXPECT_FALSE(localTargetOf(uri)) << uri;
  }
}

TEST(NavigationPolicy, KnowsMarkdownFilesByName) {
  for (const char* name : {"/a/b.md", "/a/B.MARKDOWN", "/x.mdown", "/x.Mkd", "/x.mkdn"}) {
    EXPECT_TRUE(namesMarkdownFile(name)) << name;
  }
  for (const char* name : {"/a/run.sh", "/a/md", "/a.md/x", "/x.md.sh", "/x.mdx"}) {
    EXPECT_FALSE(namesMarkdownFile(name)) << name;
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

TEST(PageHeadings, ListsEachHeadingWithItsIdAndText) {
  const struct {
    std::string html;
    std::vector<PageHeading> headings;  // level, depth, id, text
  } cases[] = {
      {"<h1 id=\"usage\"><a class=\"anchor\" href=\"#usage\"></a>Usage &amp; <em>more</em></h1>",
       {{1, 0, "usage", "Usage & more"}}},
      {"<h2>a</h2><h1>b</h1><h3>c</h3><h2>d</h2><h4>e</h4><h1>f</h1>",
       {{2, 0, "", "a"},
        {1, 0, "", "b"},
        {3, 1, "", "c"},
        {2, 1, "", "d"},
        {4, 2, "", "e"},
        {1, 0, "", "f"}}},
      {"<!-- <h1 id=a>x</h1> --><textarea><h2>x</h2></TEXTAREA><script>'<h3>'</script>"
       "<head><hr><header>x</header>1 < 2<H4 class=x ID='b' title=\"a>b\">y</H4>",
       {{4, 0, "b", "y"}}},
      {"<h5 title='id=\"no\"' data-id=no id=q&amp;a>Area <math><semantics><mi>x</mi>"
       "<annotation encoding=\"application/x-tex\">x^2</annotation></semantics></math></h5>",
       {{5, 0, "q&a", "Area x"}}},
      {"<h6>\n &#x1F680;&#128640; &#0; &bogus; &lt;b&gt;&quot;\t</h6><h1>never "
       "closed<h2>after</h2><h1>",
       {{6, 0, "", "\U0001F680\U0001F680 \uFFFD &bogus; <b>\""}, {2, 0, "", "after"}}},
  };
  for (const auto& c : cases) EXPECT_EQ(pageHeadings(c.html), c.headings) << c.html;
  // Bounded for any page: so many headings, so much text of one, cut where a character begins.
  std::string many;
  for (size_t i = 0; i <= kMaxPageHeadings; ++i) many += "<h2>x</h2>";
  EXPECT_EQ(pageHeadings(many).size(), kMaxPageHeadings);
  std::string longText = "<h1>a";
  for (int i = 0; i < 300; ++i) longText += "\u00e9";
  EXPECT_EQ(pageHeadings(longText + "</h1>").at(0).text.size(), kMaxHeadingTextBytes - 1);
}

}  // namespace
}  // namespace viewer
