// The web view that shows the preview page and nothing else: no script, no load but the
// page and its data: images; clicked web links are handed to the web browser, clicked
// links to local files to the window.
#pragma once

#include <webkit/webkit.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/preview_service.h"

namespace viewer {

class PageView {
 public:
  // The view starts its web process at once, on a blank page, so that it is ready when
  // the first page is; with `related`, it shares that view's web process.
  explicit PageView(const PageView* related = nullptr);
  ~PageView();
  PageView(const PageView&) = delete;
  PageView& operator=(const PageView&) = delete;

  WebKitWebView* webView() const { return view_; }

  // `failed` runs on the main thread when the view cannot show pages safely or at all:
  // the blocking rules could not be put in place, or the web process ended; at once if
  // that happened before. The failure names no file: the view shows whichever it is given.
  void onFailure(std::function<void(const platform::PreviewFailure&)> failed);

  // `follow` runs when the user clicks a link to a local file, with the link's address
  // (see localTargetOf) and whether it was wanted in a new window.
  void onLocalLink(std::function<void(const std::string& uri, bool newWindow)> follow);

  // Shows the page of `reply` for the document at `path` (absolute), under a policy that
  // allows its own stylesheet, the one its nonce names. The same document's page is
  // replaced in place, at the same scroll position; another document's page becomes the
  // next entry of the view's history, scrolled to the heading `fragment` names, if any.
  void show(platform::PreviewReply reply, const std::string& path, const std::string& fragment);

  // The document `step` entries back (-1) or forward (+1) in the view's history, if any.
  std::optional<std::string> historyDocument(int step) const;
  // Shows `reply` as that entry's page, at the scroll position it was left at.
  void showFromHistory(platform::PreviewReply reply, int step);
  // `changed` runs whenever the view's history changes.
  void onHistoryChanged(std::function<void()> changed);

  // Scrolls the page shown to the element whose id is `id`, as a link to it would.
  void scrollTo(const std::string& id);

  // Adds an entry for `action` (a check entry for a stateful boolean) to the page's
  // context menu, below the copying entries.
  void addMenuEntry(GAction* action, const std::string& label);

 private:
  static void serve(WebKitURISchemeRequest* request, gpointer self);
  static gboolean decidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                               WebKitPolicyDecisionType type, gpointer self);
  void load(const std::string& fragment);
  WebKitBackForwardListItem* historyItem(int step) const;
  void followFileLinks();
  void followFileLink(guint button, GdkModifierType state);
  void fail(int error, const std::string& message);
  void moveToWantedFragment();

  static gboolean buildContextMenu(WebKitWebView* view, WebKitContextMenu* menu,
                                   WebKitHitTestResult* hit, gpointer self);

  std::function<void(const platform::PreviewFailure&)> failed_;
  std::function<void(const std::string&, bool)> followLocalLink_;
  std::function<void()> historyChanged_;
  std::vector<std::pair<GAction*, std::string>> menuEntries_;
  std::optional<platform::PreviewFailure> failure_;  // kept until there is someone to tell
  WebKitWebContext* context_ = nullptr;
  WebKitWebView* view_ = nullptr;
  std::optional<platform::PreviewReply> page_;
  std::string pageURI_;                               // of page_, without a fragment
  std::string shownURI_;                              // of the page last loaded
  std::string fileLink_;                              // the file: link under the pointer, if any
  std::pair<double, double> fileLinkAt_{-1e9, -1e9};  // where the pointer was when reported
  std::pair<double, double> pointerAt_{-1e9, -1e9};
  bool rulesInPlace_ = false;
  bool loadedOnce_ = false;
  std::string expectedURI_;          // of the page asked for, until it is in place
  bool expectedIsNewEntry_ = false;  // that page makes a new entry of the history
  std::string fragmentWanted_;       // the id to scroll to once the latest page is in the view
  std::string movingTo_;             // the address of a move the view asked for, until decided
  bool reloadAfterMove_ = false;     // a reload waits for the move off a fragment
};

}  // namespace viewer
