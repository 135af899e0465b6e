// Markdown conversion: front matter, math delimiters, fallbacks, and pathological documents.
#include <gtest/gtest.h>

#include <algorithm>

#include "provider_access.h"
#include "support/process.h"

namespace {

using quillory::PreviewProviderInternals;
using testing_support::BundleSandbox;

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
      // Fences adjacent, mixed, indented, after text or unended: no front matter, so marked's.
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
  for (const auto& [markdown, html] : cases)
    EXPECT_EQ(PreviewProviderInternals::markdownToHTML(markdown), html) << markdown;
}

TEST(Conversion, PartsOfFragments) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"| a | b |\n|---|---|\n| 1 | ~~2~~ |\n\n- [x] done\n\nwww.x.org\n",
       {"<td><del>2</del></td>", "<input checked=\"\" disabled=\"\" type=\"checkbox\">",
        "<a href=\"http://www.x.org\">www.x.org</a>"}},
      {"Area $a^2$ here.\n", {"<p>Area <span class=\"katex\"><math"}},
      {"$$\n\\sum_i i\n$$\n", {"<div class=\"math-display\"><span class=\"katex\">", "\"block\""}},
      // Display math outside code cuts the paragraph; an unclosed backtick run is plain text.
      {"Before `$$` then $$x$$ after\n",
       {"<p>Before <code>$$</code> then </p>\n<div class=\"math-display\">"}},
      {"Open ` then\n\n$$y$$\n", {"<div class=\"math-display\">"}},
      // Malformed TeX renders as KaTeX's error text instead of failing.
      {"$\\frac{1}{$ ok\n", {"katex-error"}}};
  for (const auto& [markdown, parts] : cases) {
    const std::string html = PreviewProviderInternals::markdownToHTML(markdown);
    for (const std::string& part : parts) EXPECT_NE(html.find(part), std::string::npos) << html;
    EXPECT_EQ(html.find("katex-html"), std::string::npos) << "MathML only";
  }
  // Four dollar signs hold no expression: no math, and every dollar sign stays.
  const std::string four = PreviewProviderInternals::markdownToHTML("$$$$\n");
  EXPECT_TRUE(four.find("katex") == std::string::npos && std::ranges::count(four, '$') == 4)
      << four;
}

// With the GitHub extras: heading ids from emoji names, a definition ending a paragraph, emoji
// in the text of raw HTML (never in code or attributes), front matter as a table or as code.
TEST(Conversion, GithubExtrasWhereGithubDiffers) {
  std::string aliases = "---\na0: &a0 [x, x, x, x, x, x, x, x]\n";  // 8^9 cells in ten lines
  for (int i = 1; i <= 8; ++i) {
    aliases +=
        "a" + std::to_string(i) + ": &a" + std::to_string(i) + " [*a" + std::to_string(i - 1);
    for (int j = 1; j < 8; ++j) aliases += ", *a" + std::to_string(i - 1);
    aliases += "]\n";
  }
  const std::pair<std::string, std::string> cases[] = {
      {"## :rocket: New Feature\n", "<h2 id=\"rocket-new-feature\">"},
      {"text[^a] more.\n[^a]: the note.\n", " more.</p>\n<section class=\"footnotes\""},
      {"x\n[^a b]: y\n", "<p>x\n[^a b]: y</p>\n"},  // no label of GitHub's: no definition
      {"<p title=\":star:\">:star: <code>:star:</code> <!-- :star: --></p>\n",
       "<p title=\":star:\"><span class=\"emoji\" role=\"img\" aria-label=\"star\">\u2B50</span> "
       "<code>:star:</code> <!-- :star: --></p>"},
      {"a <code>:star:</code> <b>:star:</b>\n", "<code>:star:</code> <b><span class=\"emoji\""},
      {"<script>\"</code>:star:\"</script> :star:\n",
       "<script>\"</code>:star:\"</script> <span class="},
      {"---\nt: <b> & \"q\"\nl: [a, {k: 1}]\nn:\n---\nBody\n",
       "<table data-table-type=\"yaml-metadata\">\n<thead>\n<tr>\n<th>t</th>\n<th>l</th>\n"
       "<th>n</th>\n</tr>\n</thead>\n<tbody>\n<tr>\n"
       "<td><div>&lt;b&gt; &amp; &quot;q&quot;</div></td>\n<td><div><table>\n<tbody>\n<tr>\n"
       "<td><div>a</div></td>\n<td><div><table>\n<thead>\n<tr>\n<th>k</th>\n</tr>\n</thead>\n"
       "<tbody>\n<tr>\n<td><div>1</div></td>\n</tr>\n</tbody>\n</table></div></td>\n</tr>\n"
       "</tbody>\n</table></div></td>\n<td><div></div></td>\n</tr>\n</tbody>\n</table>\n"
       "<p>Body</p>\n"},
      {"---\na: [\n---\nBody\n",
       "<pre><code class=\"language-yaml\">a: [\n</code></pre>\n<p>Body</p>\n"},
      {aliases + "---\n", "<pre><code class=\"language-yaml\">a0: &amp;a0 [x"},
      {"+++\na = \"<x>\"\n+++\n",
       "<pre><code class=\"language-toml\">a = &quot;&lt;x&gt;&quot;\n</code></pre>\n"}};
  for (const auto& [markdown, part] : cases) {
    const std::string html = PreviewProviderInternals::markdownToHTML(
        markdown, quillory::PreviewOptions{.extras = quillory::Extras::github});
    EXPECT_NE(html.find(part), std::string::npos) << markdown << "\n" << html;
  }
}

// A marked stand-in reporting what the context held; long enough to be kept compiled, as marked is.
const std::string kProbeMarked =
    std::string(2000, '/') + "\nvar calls = (typeof calls === 'number' ? calls : 0);\n" +
    "var marked = { use: function () {}, setOptions: function () {},\n"
    "  parse: function (s) { calls++; if (s === 'surrogates') return 'a\\uD800b\\uDC00c';\n"
    "    if (s === 'endless') for (;;) {}\n"
    "    return 'calls=' + calls + ' katex=' + typeof katex + ' math=' + HAS_MATH + ' ' + s; }};\n";

// Text crosses the engine intact both ways, lone surrogates aside; a conversion past its time
// limit shows the text, and the next one is not held up by it.
TEST(ConversionInItsOwnProcess, NoScriptStateCrossesConversions) {
  BundleSandbox bundle(
      "conversion_host",
      {{"marked.min.js", kProbeMarked},
       {"katex.min.js", "var katex = { renderToString: function (e) { return e; } };"}});
  const std::string text("NUL\0 \xEF\xBF\xBD \xEF\xBB\xBF \xC3\xA9 \xF0\x9F\x98\x80", 20);
  EXPECT_EQ(bundle.convert({"one", "two $", text, "surrogates"}),
            (std::vector<std::string>{
                "calls=1 katex=undefined math=false one", "calls=1 katex=object math=true two $",
                "calls=1 katex=undefined math=false " + text, "a\uFFFDb\uFFFDc"}));
  EXPECT_EQ(
      bundle.convert({"endless", "one"}, "250"),
      (std::vector<std::string>{"<pre>endless</pre>", "calls=1 katex=undefined math=false one"}));
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

// Documents that have kept marked busy for many seconds or make hundreds of megabytes of HTML.
struct Pattern {
  const char* origin;
  std::string (*document)(int scale);  // the cost grows faster than the length
  int slowScale;  // unstopped: over ten seconds of marked 18.3.0, or too much HTML
};

std::string repeated(const std::string& unit, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += unit;
  return text;
}

const Pattern kPatterns[] = {
    // Slow ones: the cost is quadratic or worse in the length of a run.
    {"marked issue 396 (emphasis delimiters inside words)",
     [](int n) { return repeated("a_b__c", n); }, 20000},
    {"marked issue 1471 (list items each nested one level deeper)",
     [](int n) {
       std::string text;
       for (int i = 0; i < n; ++i) text += std::string(2 * i, ' ') + "- a\n";
       return text;
     },
     1200},
    {"marked issue 1471 (list markers in a row)", [](int n) { return repeated("- ", n) + "a"; },
     40000},
    {"marked issue 1462 (quote markers in a row)", [](int n) { return repeated(">", n); }, 200000},
    // Amplifying ones: one long link target or title referenced again and again.
    {"a long link target (100 MB of HTML, over the budget in UTF-16 units already)",
     [](int n) {
       return "[r]: http://example.com/" + std::string(1000, 'a') + "\n\n" + repeated("[r] ", n);
     },
     100000},
    {"a long CJK title (30 million UTF-16 units, but 90 MB of UTF-8)",
     [](int n) { return "[r]: /u \"" + repeated("中", 1000) + "\"\n\n" + repeated("[r] ", n); },
     30000},
    // Nesting: marked keeps a container's text once per level, so memory grows as depth × size.
    {"quotes nested on every line (1,200 levels on 1,200 lines kept 1.7 GB)",
     [](int n) { return repeated(repeated(">", n) + " x\n", n); }, 1200},
    {"list markers in a row on every line",
     [](int n) { return repeated(repeated("- ", n) + "x\n", n); }, 700},
};

// Each pattern's document at `scale` (its slow one when 0): escaped source iff `shownAsText`,
// or either when that is empty: a marked that became faster would convert what it stopped.
// `peakBytes`, if given, receives the largest resident size of the host that converted them.
void expectConversions(std::span<const Pattern> patterns, int scale, const std::string& limitMs,
                       std::optional<bool> shownAsText, size_t* peakBytes = nullptr) {
  std::vector<std::string> documents;
  for (const Pattern& pattern : patterns)
    documents.push_back(pattern.document(scale ? scale : pattern.slowScale));
  const auto fragments = testing_support::convertInHost(
      {testing_support::program("conversion_host"), "--time-limit", limitMs}, documents, peakBytes);
  ASSERT_EQ(fragments.size(), documents.size());
  for (size_t i = 0; i < documents.size(); ++i) {
    const bool text = fragments[i] == PreviewProviderInternals::escapedPre(documents[i]);
    EXPECT_TRUE(shownAsText ? text == *shownAsText : text || !fragments[i].empty())
        << patterns[i].origin;
  }
}

TEST(PathologicalInput, SmallOnesConvertSlowOnesAreStoppedAmplifyingOnesMeetTheBudget) {
  const std::span<const Pattern> patterns(kPatterns);
  expectConversions(patterns, 20, "10000", false);
  expectConversions(patterns.first(4), 0, "250", std::nullopt);  // each ends in time either way
  // Only the fragment or the engine's memory budget stops these, below the README's 600 MB.
  size_t peakBytes = 0;
  expectConversions(patterns.last(4), 0, "120000", true, &peakBytes);
#ifndef __SANITIZE_ADDRESS__  // its shadow memory and quarantine are no part of the host's
  EXPECT_LT(peakBytes, 600'000'000u);
#endif
}

}  // namespace
