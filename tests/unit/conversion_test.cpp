// Markdown conversion in the script engine: marked, KaTeX, the renderer and the fallback.
#include <gtest/gtest.h>

#include <algorithm>

#include "provider_access.h"
#include "support/bundle_sandbox.h"

namespace {

using quillory::PreviewProviderInternals;
using testing_support::BundleSandbox;
using testing_support::realResource;

std::string convert(const std::string& markdown) {
  return PreviewProviderInternals::markdownToHTML(markdown);
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(Conversion, RendersGitHubFlavoredMarkdown) {
  EXPECT_EQ(convert("# Title\n\nSome *text*.\n"), "<h1>Title</h1>\n<p>Some <em>text</em>.</p>\n");
  const std::string html =
      convert("| a | b |\n|---|---|\n| 1 | ~~2~~ |\n\n- [x] done\n\nwww.x.org\n");
  EXPECT_TRUE(contains(html, "<td><del>2</del></td>")) << html;
  EXPECT_TRUE(contains(html, "<input checked=\"\" disabled=\"\" type=\"checkbox\">")) << html;
  EXPECT_TRUE(contains(html, "<a href=\"http://www.x.org\">www.x.org</a>")) << html;
  // A single line break inside a paragraph stays a line break, not <br>.
  EXPECT_EQ(convert("one\ntwo\n"), "<p>one\ntwo</p>\n");
}

TEST(Conversion, EmptyResultsFallBackToTheEscapedSource) {
  EXPECT_EQ(convert(""), "<pre></pre>");
  const std::string onlyFrontMatter = "---\ntitle: <x> & y\n---\n";
  EXPECT_EQ(convert(onlyFrontMatter), "<pre>---\ntitle: &lt;x&gt; &amp; y\n---\n</pre>");
}

TEST(Conversion, FrontMatterIsStrippedOnlyWhenItIsReallyThere) {
  EXPECT_EQ(convert("---\na: 1\n---\nBody\n"), "<p>Body</p>\n");
  EXPECT_EQ(convert("+++\na = 1\n+++\nBody\n"), "<p>Body</p>\n");
  EXPECT_EQ(convert("\xEF\xBB\xBF---\r\na: 1\r\n---  \r\nBody\r\n"), "<p>Body</p>\n");
  EXPECT_EQ(convert("---\n\n---\nBody\n"), "<p>Body</p>\n");
  // Adjacent fences, mixed fences, an indented fence or no line break after the closing
  // fence: not front matter, so the fences reach marked (as rules or a setext heading).
  for (const char* text : {"---\n---\nBody\n", "---\na\n+++\nBody\n", " ---\na\n---\nBody\n",
                           "Intro\n---\na\n---\nBody\n"}) {
    EXPECT_FALSE(convert(text).starts_with("<p>Body</p>")) << text;
  }
  EXPECT_EQ(convert("---\na: 1\n---"), "<hr>\n<h2>a: 1</h2>\n");
  // Everything up to the first later fence line goes, as front matter.
  EXPECT_EQ(convert("---\nx\n---\ny\n---\nz\n"), "<h2>y</h2>\n<p>z</p>\n");
}

TEST(Conversion, MathBecomesMathMLAndCurrencyStaysText) {
  const std::string inlineMath = convert("Area $a^2$ here.\n");
  EXPECT_TRUE(contains(inlineMath, "<p>Area <span class=\"katex\"><math")) << inlineMath;
  EXPECT_FALSE(contains(inlineMath, "katex-html")) << "MathML only";

  const std::string display = convert("$$\n\\sum_i i\n$$\n");
  EXPECT_TRUE(display.starts_with("<div class=\"math-display\"><span class=\"katex\">")) << display;
  EXPECT_TRUE(contains(display, "display=\"block\"")) << display;

  EXPECT_EQ(convert("It costs $5 and $10.\n"), "<p>It costs $5 and $10.</p>\n");
  EXPECT_EQ(convert("$ a$ and $a $ and $a$5\n"), "<p>$ a$ and $a $ and $a$5</p>\n");
  // Four dollar signs hold no expression: no math, and every dollar sign stays.
  const std::string four = convert("$$$$\n");
  EXPECT_FALSE(contains(four, "katex")) << four;
  EXPECT_EQ(std::count(four.begin(), four.end(), '$'), 4) << four;

  // Malformed TeX renders as KaTeX's error text instead of failing.
  const std::string malformed = convert("$\\frac{1}{$ ok\n");
  EXPECT_TRUE(contains(malformed, "katex-error")) << malformed;
}

TEST(Conversion, DisplayDelimitersInsideInlineCodeStayCode) {
  EXPECT_EQ(convert("The shell variable `$$` holds the PID, and `echo $$` prints it.\n"),
            "<p>The shell variable <code>$$</code> holds the PID, and <code>echo $$</code> "
            "prints it.</p>\n");
  EXPECT_EQ(convert("See ``a `$$` b`` and `$$`\n"),
            "<p>See <code>a `$$` b</code> and <code>$$</code></p>\n");
  // Display math outside code still cuts the paragraph, at line start or mid-line.
  const std::string midLine = convert("Before `$$` then $$x$$ after\n");
  EXPECT_TRUE(
      contains(midLine, "<p>Before <code>$$</code> then </p>\n<div class=\"math-display\">"))
      << midLine;
  // An unclosed backtick run is ordinary text.
  const std::string unclosed = convert("Open ` then\n\n$$y$$\n");
  EXPECT_TRUE(contains(unclosed, "<div class=\"math-display\">")) << unclosed;
}

TEST(Conversion, RepeatedConversionsAgree) {
  const std::string text = "# A\n\n$x$ and | t |\n|---|\n| 1 |\n";
  const std::string first = convert(text);
  EXPECT_EQ(convert(text), first);
  EXPECT_EQ(convert("plain\n"), "<p>plain</p>\n");
  EXPECT_EQ(convert(text), first);
}

// Stand-in libraries that report what the renderer's context held.
// The marked stand-in is long enough to be kept compiled between conversions, as the
// real library is.
const std::string kProbeMarked =
    "var calls = (typeof calls === 'number' ? calls : 0);\n"
    "var marked = { use: function () {}, setOptions: function () {},\n"
    "  parse: function (s) { calls++; return 'calls=' + calls + ' katex=' + typeof katex +\n"
    "    ' math=' + HAS_MATH + ' src=' + s; } };\n//" +
    std::string(2000, '.') + "\n";
const std::string kProbeKatex = "var katex = { renderToString: function (e) { return e; } };\n";

TEST(ConversionInItsOwnProcess, NoScriptStateCrossesConversions) {
  BundleSandbox bundle("conversion_host",
                       {{"marked.min.js", kProbeMarked}, {"katex.min.js", kProbeKatex}});
  auto fragments = bundle.convert({"one", "two $", "three"});
  ASSERT_EQ(fragments.size(), 3u);
  EXPECT_EQ(fragments[0], "calls=1 katex=undefined math=false src=one");
  EXPECT_EQ(fragments[1], "calls=1 katex=object math=true src=two $");
  EXPECT_EQ(fragments[2], "calls=1 katex=undefined math=false src=three");
}

TEST(ConversionInItsOwnProcess, TextCrossesTheEngineIntact) {
  BundleSandbox bundle("conversion_host",
                       {{"marked.min.js",
                         "var marked = { setOptions: function () {}, parse: function (s) {\n"
                         "  return s === 'surrogate' ? 'a\\uD800b\\uDC00c' : s; } };\n"}});
  const std::string text =
      std::string("NUL\0 \xEF\xBF\xBD \xEF\xBB\xBF \xC3\xA9 \xF0\x9F\x98\x80", 20);
  auto fragments = bundle.convert({text, "surrogate"});
  ASSERT_EQ(fragments.size(), 2u);
  EXPECT_EQ(fragments[0], text);
  EXPECT_EQ(fragments[1],
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD"
            "c");
}

TEST(ConversionInItsOwnProcess, MissingOrBrokenMarkedGivesTheFallback) {
  const std::vector<std::string> documents{"# Title", "", "$x$ <b>"};
  for (const auto& resources : std::vector<std::map<std::string, std::string>>{
           {},
           {{"marked.min.js", ""}},
           {{"marked.min.js", "\xFF\xFE not UTF-8"}},
           {{"marked.min.js", "var marked = {}; throw new Error('broken');"}},
           {{"marked.min.js",
             "var marked = { setOptions: function () {}, parse: function () {"
             " throw new Error('x'); } };"}}}) {
    BundleSandbox bundle("conversion_host", resources);
    auto fragments = bundle.convert(documents);
    ASSERT_EQ(fragments.size(), 3u);
    EXPECT_EQ(fragments[0], "<pre># Title</pre>");
    EXPECT_EQ(fragments[1], "<pre></pre>");
    EXPECT_EQ(fragments[2], "<pre>$x$ &lt;b&gt;</pre>");
  }
}

TEST(ConversionInItsOwnProcess, MissingKatexLeavesMathDelimitersLiteral) {
  BundleSandbox bundle("conversion_host", {{"marked.min.js", realResource("marked.min.js")}});
  auto fragments = bundle.convert({"Inline $x^2$ and\n\n$$y$$\n"});
  ASSERT_EQ(fragments.size(), 1u);
  EXPECT_EQ(fragments[0], "<p>Inline $x^2$ and</p>\n<p>$$y$$</p>\n");
}

}  // namespace
