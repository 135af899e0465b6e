// Page assembly: the fixed template around the stylesheet, a fresh nonce and the body.
#include <array>
#include <string_view>

#include "platform/text.h"
#include "preview/page_constants.h"
#include "preview/preview_provider.h"

namespace quillory {
namespace {

constexpr std::string_view kHead =
    "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
    "<meta http-equiv=\"Content-Security-Policy\"\n"
    "      content=\"";
constexpr std::string_view kPolicyEnd = "\">\n<style nonce=\"";
constexpr std::string_view kStyleStart = "\">";
constexpr std::string_view kBodyStart =
    "</style>\n</head>\n<body>\n<article id=\"content\" class=\"md\">";
constexpr std::string_view kArticleEnd = "</article>\n";
constexpr std::string_view kWatermark = "<div class=\"md-watermark\">Rendered by Quillory</div>";
constexpr std::string_view kPageEnd = "\n</body>\n</html>";

}  // namespace

std::string PreviewProvider::buildHTML(const std::string& markdown,
                                       const platform::FileURL& baseDir,
                                       const std::string& nonce) const {
  const std::string& css = cssSource();
  const std::string policy = contentSecurityPolicy(nonce);
  const std::string body = inlineLocalImages(markdownToHTML(markdown), baseDir);

  std::string page;
  page.reserve(kHead.size() + policy.size() + kPolicyEnd.size() + kStyleStart.size() +
               kBodyStart.size() + kArticleEnd.size() + kWatermark.size() + kPageEnd.size() +
               nonce.size() + css.size() + body.size());
  for (std::string_view piece :
       {std::string_view(kHead), std::string_view(policy), kPolicyEnd, std::string_view(nonce),
        kStyleStart, std::string_view(css), kBodyStart, std::string_view(body), kArticleEnd,
        kWatermark, kPageEnd}) {
    page += piece;
  }
  return page;
}

// The style nonce: 16 secure random bytes as standard base64.
std::string PreviewProvider::makeNonce(platform::SecureRandomSource secureSource) {
  std::array<uint8_t, 16> bytes{};
  if (secureSource(bytes) != 0) {
    // Whatever the failed source wrote is discarded, not mixed in.
    for (uint8_t& byte : bytes) byte = platform::ordinaryRandomByte();
  }
  return platform::base64Encoded(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace quillory
