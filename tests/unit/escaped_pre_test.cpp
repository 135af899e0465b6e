// The plain-text fallback: escaping and wrapping of the source text.
#include <gtest/gtest.h>

#include "provider_access.h"

namespace {

using quillory::PreviewProviderInternals;

TEST(EscapedPre, EscapesOnlyAmpersandAndAngleBrackets) {
  EXPECT_EQ(PreviewProviderInternals::escapedPre(""), "<pre></pre>");
  EXPECT_EQ(PreviewProviderInternals::escapedPre("a && b < c > d"),
            "<pre>a &amp;&amp; b &lt; c &gt; d</pre>");
  // An entity already in the text shows as written.
  EXPECT_EQ(PreviewProviderInternals::escapedPre("&lt;&amp;"), "<pre>&amp;lt;&amp;amp;</pre>");
  EXPECT_EQ(PreviewProviderInternals::escapedPre("<img src=\"a.png\">"),
            "<pre>&lt;img src=\"a.png\"&gt;</pre>");
}

TEST(EscapedPre, EverythingElsePassesThroughExactly) {
  const std::string text = "\n\n 'quoted' \"double\"\r\n\t\xC3\xA9\xF0\x9F\x98\x80\0end\n\n";
  EXPECT_EQ(PreviewProviderInternals::escapedPre(text), "<pre>" + text + "</pre>");
}

}  // namespace
