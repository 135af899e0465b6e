// Disarming meta refresh: every http-equiv of a meta tag, as a browser reads the tag.
#include "convert/meta_refresh.h"

#include <gtest/gtest.h>

#include "provider_access.h"

namespace {

using quillory::disarmMetaRefresh;

TEST(MetaRefresh, HttpEquivOfMetaTagsIsRenamed) {
  EXPECT_EQ(disarmMetaRefresh("<meta http-equiv=\"refresh\" content=\"0; url=http://x/\">"),
            "<meta data-http-equiv=\"refresh\" content=\"0; url=http://x/\">");
  EXPECT_EQ(disarmMetaRefresh("<META\nHTTP-EQUIV=refresh content=0;url=//x>"),
            "<META\ndata-HTTP-EQUIV=refresh content=0;url=//x>");
  EXPECT_EQ(disarmMetaRefresh("<meta/http-equiv='refresh'/>"), "<meta/data-http-equiv='refresh'/>");
  // A ">" inside a quoted value does not end the tag; an unquoted value may hold quotes.
  EXPECT_EQ(disarmMetaRefresh("<meta name=\"a>b\" http-equiv=refresh>"),
            "<meta name=\"a>b\" data-http-equiv=refresh>");
  EXPECT_EQ(disarmMetaRefresh("<meta a=b\" http-equiv=refresh content=0>"),
            "<meta a=b\" data-http-equiv=refresh content=0>");
  EXPECT_EQ(disarmMetaRefresh("<meta http-equiv=a HTTP-EQUIV=refresh><meta http-equiv>"),
            "<meta data-http-equiv=a data-HTTP-EQUIV=refresh><meta data-http-equiv>");
}

TEST(MetaRefresh, EverythingElseIsLeftAlone) {
  for (const char* html :
       {"<p>http-equiv=refresh</p>", "<metadata http-equiv=refresh>", "<meta name=\"http-equiv\">",
        "<meta content=\"http-equiv\">", "<meta charset=utf-8>", "&lt;meta http-equiv=refresh&gt;",
        "<meta", "<meta http-equiv-x=1>", ""}) {
    EXPECT_EQ(disarmMetaRefresh(html), html);
  }
}

TEST(MetaRefresh, ConvertedDocumentsCannotRefresh) {
  const std::string html = quillory::PreviewProviderInternals::markdownToHTML(
      "<meta http-equiv=\"refresh\" content=\"0; url=http://127.0.0.1/\">\n\ntext\n");
  EXPECT_EQ(html.find(" http-equiv"), std::string::npos) << html;
  EXPECT_NE(html.find("data-http-equiv"), std::string::npos) << html;
}

}  // namespace
