// Which navigations the preview window lets happen, and the addresses of document pages.
#include "viewer/window/navigation_policy.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "platform/file_url.h"

namespace viewer {
namespace {

// Schemes a clicked link may hand to the desktop: web pages and mail. Everything else
// (data:, javascript:, schemes of local programs) stays closed.
constexpr std::array<std::string_view, 3> kBrowserSchemes = {"http", "https", "mailto"};

// Document pages live below this address; their scheme is the page view's own.
constexpr std::string_view kDocumentPrefix = "quillory-view://document";

std::string lowerSchemeOf(std::string_view uri) {
  size_t colon = uri.find(':');
  if (colon == std::string_view::npos || colon == 0) return {};
  std::string scheme(uri.substr(0, colon));
  for (char c : scheme) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') {
      return {};
    }
  }
  std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return scheme;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// Nothing when an escape is broken or decodes to a NUL byte, which no path holds.
std::optional<std::string> percentDecoded(std::string_view text) {
  std::string decoded;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      decoded += text[i];
      continue;
    }
    const int high = i + 2 < text.size() ? hexValue(text[i + 1]) : -1;
    const int low = high >= 0 ? hexValue(text[i + 2]) : -1;
    if (low < 0 || (high | low) == 0) return std::nullopt;
    decoded += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return decoded;
}

// The path of a document-page address or file: URL (before any query or fragment), still
// percent-encoded; nothing for any other address.
std::optional<std::string_view> encodedLocalPath(std::string_view uri) {
  std::string_view rest;
  if (uri.starts_with(kDocumentPrefix)) {
    rest = uri.substr(kDocumentPrefix.size());
  } else if (lowerSchemeOf(uri) == "file") {
    rest = uri.substr(5);
    if (rest.starts_with("//")) {
      rest.remove_prefix(2);
      const size_t slash = rest.find('/');
      std::string host(rest.substr(0, slash));
      std::transform(host.begin(), host.end(), host.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      if (slash == std::string_view::npos || (!host.empty() && host != "localhost")) {
        return std::nullopt;
      }
      rest.remove_prefix(slash);
    }
  } else {
    return std::nullopt;
  }
  rest = rest.substr(0, rest.find_first_of("?#"));
  if (!rest.starts_with('/')) return std::nullopt;
  return rest;
}

}  // namespace

NavigationVerdict decideNavigation(const Navigation& navigation, std::string_view pageURI) {
  std::string_view uri = navigation.uri;
  size_t hash = uri.find('#');
  std::string_view withoutFragment = uri.substr(0, hash);

  if (withoutFragment == pageURI && !navigation.newWindow) {
    if (navigation.loadExpected) return NavigationVerdict::showPage;
    if (hash != std::string_view::npos && navigation.userClickedLink) {
      return NavigationVerdict::moveWithinPage;
    }
    return NavigationVerdict::refuse;
  }
  if (!navigation.userClickedLink) return NavigationVerdict::refuse;
  if (localTargetOf(uri)) {
    return navigation.newWindow ? NavigationVerdict::openLocalInNewWindow
                                : NavigationVerdict::openLocal;
  }
  std::string scheme = lowerSchemeOf(uri);
  if (std::find(kBrowserSchemes.begin(), kBrowserSchemes.end(), scheme) != kBrowserSchemes.end()) {
    return NavigationVerdict::openInBrowser;
  }
  return NavigationVerdict::refuse;
}

std::string documentPageURI(std::string_view path) {
  constexpr std::string_view kHex = "0123456789ABCDEF";
  std::string uri(kDocumentPrefix);
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
  return uri;
}

std::optional<LocalTarget> localTargetOf(std::string_view uri) {
  const auto encoded = encodedLocalPath(uri);
  if (!encoded) return std::nullopt;
  auto path = percentDecoded(*encoded);
  const size_t hash = uri.find('#');
  auto fragment = percentDecoded(hash == std::string_view::npos ? "" : uri.substr(hash + 1));
  if (!path || !fragment) return std::nullopt;
  return LocalTarget{platform::FileURL::fileURLWithPath(*path).standardized().path(),
                     std::move(*fragment)};
}

bool namesMarkdownFile(std::string_view path) {
  constexpr std::array<std::string_view, 5> kExtensions = {"md", "markdown", "mdown", "mkd",
                                                           "mkdn"};
  std::string extension = platform::FileURL::fileURLWithPath(path).pathExtension();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return std::find(kExtensions.begin(), kExtensions.end(), extension) != kExtensions.end();
}

}  // namespace viewer
