// Markdown conversion: marked, front matter, KaTeX and its delimiters, the fallback; here and in
// bundles.
#include <gtest/gtest.h>

#include <algorithm>

#include "provider_access.h"
#include "support/process.h"

namespace {

using testing_support::BundleSandbox;

std::string convert(const std::string& markdown) {
  return quillory::PreviewProviderInternals::markdownToHTML(markdown);
}

TEST(Conversion, WholeFragments) {
  const std::pair<std::string, std::string> cases[] = {
      {"# Title\n\nSome *text*.\n", "<h1>Title</h1>\n<p>Some <em>text</em>.</p>\n"},
      {"one\ntwo\n", "<p>one\ntwo</p>\n"},  // a line break stays a line break, not <br>
      // Empty results fall back to the escaped source.
      {"", "<pre></pre>"},
      {"---\ntitle: <x> & y\n---\n", "<pre>---\ntitle: &lt;x&gt; &amp; y\n---\n</pre>"},
      // Front matter goes only when it is really there: up to the first later fence line.
      {"---\na: 1\n---\nBody\n", "<p>Body</p>\n"},
      {"+++\na = 1\n+++\nBody\n", "<p>Body</p>\n"},
      {"\xEF\xBB\xBF---\r\na: 1\r\n---  \r\nBody\r\n", "<p>Body</p>\n"},
      {"---\n\n---\nBody\n", "<p>Body</p>\n"},
      {"---\nx\n---\ny\n---\nz\n", "<h2>y</h2>\n<p>z</p>\n"},
      // Adjacent, mixed or indented fences, text before, or no line break after the
      // closing fence: no front matter, so the fences reach marked.
      {"---\n---\nBody\n", "<hr>\n<hr>\n<p>Body</p>\n"},
      {"---\na\n+++\nBody\n", "<hr>\n<p>a\n+++\nBody</p>\n"},
      {" ---\na\n---\nBody\n", "<hr>\n<h2>a</h2>\n<p>Body</p>\n"},
      {"Intro\n---\na\n---\nBody\n", "<h2>Intro</h2>\n<h2>a</h2>\n<p>Body</p>\n"},
      {"---\na: 1\n---", "<hr>\n<h2>a: 1</h2>\n"},
      // Currency and dollar signs without an expression stay text.
      {"It costs $5 and $10.\n", "<p>It costs $5 and $10.</p>\n"},
      {"$ a$ and $a $ and $a$5\n", "<p>$ a$ and $a $ and $a$5</p>\n"},
      // Display delimiters inside inline code stay code.
      {"The variable `$$` holds the PID, `echo $$` prints it.\n",
       "<p>The variable <code>$$</code> holds the PID, <code>echo $$</code> prints it.</p>\n"},
      {"See ``a `$$` b`` and `$$`\n", "<p>See <code>a `$$` b</code> and <code>$$</code></p>\n"}};
  for (const auto& [markdown, html] : cases) EXPECT_EQ(convert(markdown), html) << markdown;
}

TEST(Conversion, PartsOfFragments) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"| a | b |\n|---|---|\n| 1 | ~~2~~ |\n\n- [x] done\n\nwww.x.org\n",
       {"<td><del>2</del></td>", "<input checked=\"\" disabled=\"\" type=\"checkbox\">",
        "<a href=\"http://www.x.org\">www.x.org</a>"}},
      {"Area $a^2$ here.\n", {"<p>Area <span class=\"katex\"><math"}},
      {"$$\n\\sum_i i\n$$\n", {"<div class=\"math-display\"><span class=\"katex\">", "\"block\""}},
      // Display math outside code still cuts the paragraph, at line start or mid-line;
      // an unclosed backtick run is ordinary text.
      {"Before `$$` then $$x$$ after\n",
       {"<p>Before <code>$$</code> then </p>\n<div class=\"math-display\">"}},
      {"Open ` then\n\n$$y$$\n", {"<div class=\"math-display\">"}},
      // Malformed TeX renders as KaTeX's error text instead of failing.
      {"$\\frac{1}{$ ok\n", {"katex-error"}}};
  for (const auto& [markdown, parts] : cases) {
    const std::string html = convert(markdown);
    for (const std::string& part : parts) EXPECT_NE(html.find(part), std::string::npos) << html;
    EXPECT_EQ(html.find("katex-html"), std::string::npos) << "MathML only";
  }
  // Four dollar signs hold no expression: no math, and every dollar sign stays.
  const std::string four = convert("$$$$\n");
  EXPECT_TRUE(four.find("katex") == std::string::npos &&
              std::count(four.begin(), four.end(), '$') == 4)
      << four;
}

// A marked stand-in reporting what the context held; long enough to be kept compiled, as marked is.
const std::string kProbeMarked =
    "var calls = (typeof calls === 'number' ? calls : 0);\n"
    "var marked = { use: function () {}, setOptions: function () {},\n"
    "  parse: function (s) { calls++; return 'calls=' + calls + ' katex=' + typeof katex +\n"
    "    ' math=' + HAS_MATH + ' src=' + s; } };\n//" +
    std::string(2000, '.') + "\n";

TEST(ConversionInItsOwnProcess, NoScriptStateCrossesConversions) {
  BundleSandbox bundle(
      "conversion_host",
      {{"marked.min.js", kProbeMarked},
       {"katex.min.js", "var katex = { renderToString: function (e) { return e; } };"}});
  EXPECT_EQ(bundle.convert({"one", "two $", "three"}),
            (std::vector<std::string>{"calls=1 katex=undefined math=false src=one",
                                      "calls=1 katex=object math=true src=two $",
                                      "calls=1 katex=undefined math=false src=three"}));
}

TEST(ConversionInItsOwnProcess, TextCrossesTheEngineIntact) {
  BundleSandbox bundle("conversion_host",
                       {{"marked.min.js",
                         "var marked = { setOptions: function () {}, parse: function (s) {\n"
                         "  return s === 'surrogate' ? 'a\\uD800b\\uDC00c' : s; } };\n"}});
  const std::string text("NUL\0 \xEF\xBF\xBD \xEF\xBB\xBF \xC3\xA9 \xF0\x9F\x98\x80", 20);
  EXPECT_EQ(bundle.convert({text, "surrogate"}), (std::vector<std::string>{text,
                                                                           "a\xEF\xBF\xBD"
                                                                           "b\xEF\xBF\xBD"
                                                                           "c"}));
}

TEST(ConversionInItsOwnProcess, MissingOrBrokenLibrariesGiveTheFallbackOrLiteralMath) {
  for (const char* marked :
       {static_cast<const char*>(nullptr), "", "\xFF\xFE not UTF-8",
        "var marked = {}; throw new Error('broken');",
        "var marked = { setOptions: function () {}, parse: function () { throw 1; } };"}) {
    std::map<std::string, std::string> resources;
    if (marked != nullptr) resources["marked.min.js"] = marked;
    EXPECT_EQ(BundleSandbox("conversion_host", resources).convert({"# Title", "", "$x$ <b>"}),
              (std::vector<std::string>{"<pre># Title</pre>", "<pre></pre>",
                                        "<pre>$x$ &lt;b&gt;</pre>"}));
  }
  BundleSandbox noKatex("conversion_host",
                        {{"marked.min.js", testing_support::realResource("marked.min.js")}});
  EXPECT_EQ(noKatex.convert({"Inline $x^2$ and\n\n$$y$$\n"}),
            std::vector<std::string>{"<p>Inline $x^2$ and</p>\n<p>$$y$$</p>\n"});
}

}  // namespace
