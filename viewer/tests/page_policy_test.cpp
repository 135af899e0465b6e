// The policy the window serves its page under: styles only from the nonce of the head's
// stylesheet, and none when that nonce is missing or could break out of its directive.
#include "viewer/page_policy.h"

#include <gtest/gtest.h>

namespace viewer {
namespace {

TEST(PagePolicy, AllowsOnlyTheHeadStylesheet) {
  const std::string rest = "; script-src 'none'; base-uri 'none'; form-action 'none'";
  const std::string noStyle = "default-src 'none'; img-src data:; style-src 'none'" + rest;
  const struct {
    const char* page;
    std::string policy;
  } cases[] = {
      {"<head><style nonce=\"aB3+/x=_-\">p{}</style></head><body><style nonce=\"other\">",
       "default-src 'none'; img-src data:; style-src 'nonce-aB3+/x=_-'" + rest},
      {"<head></head><body><style nonce=\"fromTheDocument\">", noStyle},
      {"<head><style nonce=\"a'; style-src 'unsafe-inline\"></style></head>", noStyle},
      {"<head><style nonce=\"\"></style></head>", noStyle},
      {"<head><style nonce=\"unterminated></head>", noStyle},
      {"<style nonce=\"noHeadEnd\">", noStyle},
  };
  for (const auto& c : cases) EXPECT_EQ(servedPagePolicy(c.page), c.policy) << c.page;
}

}  // namespace
}  // namespace viewer
