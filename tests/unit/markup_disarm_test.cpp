// Disarming markup: what a browser would act on is renamed where its tokenizer reads a tag,
// and nothing else. The differential test (markup_disarm.mjs) covers the tokenizer at large.
#include "convert/markup_disarm.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "provider_access.h"

namespace {

using quillory::disarmMarkup;

TEST(MarkupDisarm, RenamesWhatABrowserWouldActOn) {
  const struct {
    const char* html;
    const char* disarmed;
  } cases[] = {
      {"<META\nHTTP-EQUIV=refresh content=0;url=//x>",
       "<META\ndata-HTTP-EQUIV=refresh content=0;url=//x>"},
      {"<meta/http-equiv='refresh'/>", "<meta/data-http-equiv='refresh'/>"},
      // Every duplicate, or the next would take the first one's place.
      {"<meta http-equiv=a HTTP-EQUIV=refresh>",
       "<meta data-http-equiv=a data-HTTP-EQUIV=refresh>"},
      {"<meta a=b\" http-equiv=r>", "<meta a=b\" data-http-equiv=r>"},
      {"<p title=\"<meta \">x</p><meta http-equiv=r>",
       "<p title=\"<meta \">x</p><meta data-http-equiv=r>"},
      {"<!-- <meta a=\" --><meta http-equiv=r>", "<!-- <meta a=\" --><meta data-http-equiv=r>"},
      {"<textarea><meta a='</textarea><meta http-equiv=r>'",
       "<textarea><meta a='</textarea><meta data-http-equiv=r>'"},
      {"<script><!--<script></script><meta http-equiv=a></script>--></script><meta http-equiv=b>",
       "<script><!--<script></script><meta http-equiv=a></script>--></script><meta "
       "data-http-equiv=b>"},
      // Noscript both ways: a browser without scripting reads markup, one with it text.
      {"<noscript><meta http-equiv=a><!--</noscript><meta http-equiv=b>--></noscript>",
       "<noscript><meta data-http-equiv=a><!--</noscript><meta data-http-equiv=b>--></noscript>"},
      // A meta breaks out of svg and math, whose style and title are no text elements.
      {"<math><title><meta http-equiv=a></title></math>",
       "<math><title><meta data-http-equiv=a></title></math>"},
      // The markup after the fragment finishes a tag left open, not a quoted value.
      {"<meta content=x http-equiv=r", "<meta content=x data-http-equiv=r"},
      {"<meta content=\"x http-equiv=r", "<meta content=\"x http-equiv=r"},
      {"<link rel=stylesheet href=a><link REL=\"icon PreConnect\"><link rel=dns-prefetch>",
       "<link rel=stylesheet href=a><link data-REL=\"icon PreConnect\"><link "
       "data-rel=dns-prefetch>"},
      {"<link rel=pre&#99;onnect rel=stylesheet>",
       "<link data-rel=pre&#99;onnect data-rel=stylesheet>"},
      {"<iframe src=a srcdoc=b title=c></iframe>",
       "<iframe data-src=a data-srcdoc=b title=c></iframe>"},
      {"<metadata http-equiv=r><p>http-equiv=r</p><meta name=http-equiv><img src=a>",
       "<metadata http-equiv=r><p>http-equiv=r</p><meta name=http-equiv><img src=a>"},
  };
  for (const auto& c : cases) EXPECT_EQ(disarmMarkup(c.html), c.disarmed) << c.html;
}

// Every svg start tag makes each text element a guess with two readings; the readings must
// merge again, or tens of megabytes of such markup would take hours.
TEST(MarkupDisarm, TakesTimeLinearInTheText) {
  std::string html;
  for (int i = 0; i < 40000; ++i) {
    html += "<svg><style><![CDATA[<script><!--<title><noscript>]]></noscript></title>--></script>";
  }
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(disarmMarkup(html + "<meta http-equiv=r>") == html + "<meta data-http-equiv=r>");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST(MarkupDisarm, ConvertedDocumentsCannotRefresh) {
  const std::string html = quillory::PreviewProviderInternals::markdownToHTML(
      "<meta http-equiv=\"refresh\" content=\"0; url=http://127.0.0.1/\">\n\ntext\n");
  EXPECT_EQ(html.find(" http-equiv"), std::string::npos) << html;
  EXPECT_NE(html.find("data-http-equiv"), std::string::npos) << html;
}

}  // namespace
