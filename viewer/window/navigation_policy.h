// Which navigations the preview window lets happen: only its own page, links the user
// clicked to local files, which the window follows itself, and clicked web and mail links,
// which go to the web browser instead.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace viewer {

struct Navigation {
  std::string uri;
  bool userClickedLink = false;  // a click by the user, not a redirect, refresh or form
  bool newWindow = false;        // a new window wanted (target="_blank", Ctrl+click, middle click)
  bool loadExpected = false;     // the window itself asked for its page to be (re)loaded
};

enum class NavigationVerdict {
  showPage,              // the page itself, loaded because the window asked for it
  moveWithinPage,        // a link to an anchor of the page that is shown
  openLocal,             // a clicked link to a local file: the window decides what to show
  openLocalInNewWindow,  // the same, wanted in a new window
  openInBrowser,         // a clicked web or mail link: hand it to the desktop
  refuse,                // anything else
};

// `pageURI` is the address of the page shown, without its fragment (see documentPageURI).
NavigationVerdict decideNavigation(const Navigation& navigation, std::string_view pageURI);

// The page of the document at the absolute `path` is served at this address, under which
// the page's relative links resolve against the document's directory, as on disk.
std::string documentPageURI(std::string_view path);

struct LocalTarget {
  std::string path;      // absolute, percent-decoded, "." and ".." resolved
  std::string fragment;  // percent-decoded, without the "#"
};

// The file a link to a local file names: an address of a document page, or a file: URL
// of this machine (no host, or "localhost"). Nothing for any other address.
std::optional<LocalTarget> localTargetOf(std::string_view uri);

// Whether the name of the file at `path` ends as a Markdown file's does (".md",
// ".markdown", ".mdown", ".mkd", ".mkdn", in any case).
bool namesMarkdownFile(std::string_view path);

}  // namespace viewer
