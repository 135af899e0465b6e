// The web view that shows the preview page and nothing else: no script, no load but the
// page and its data: images, and clicked links handed to the web browser.
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

  // Shows the page of `reply`, under a policy that allows its own stylesheet, the one its
  // nonce names. A page shown before is replaced in place, at the same scroll position.
  void show(platform::PreviewReply reply);

  // Scrolls the page shown to the element whose id is `id`, as a link to it would.
  void scrollTo(const std::string& id);

  // Adds an entry for `action` (a check entry for a stateful boolean) to the page's
  // context menu, below the copying entries.
  void addMenuEntry(GAction* action, const std::string& label);

 private:
  static void serve(WebKitURISchemeRequest* request, gpointer self);
  static gboolean decidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                               WebKitPolicyDecisionType type, gpointer self);
  void load();
  void fail(int error, const std::string& message);
  void moveToWantedFragment();

  static gboolean buildContextMenu(WebKitWebView* view, WebKitContextMenu* menu,
                                   WebKitHitTestResult* hit, gpointer self);

  std::function<void(const platform::PreviewFailure&)> failed_;
  std::vector<std::pair<GAction*, std::string>> menuEntries_;
  std::optional<platform::PreviewFailure> failure_;  // kept until there is someone to tell
  WebKitWebContext* context_ = nullptr;
  WebKitWebView* view_ = nullptr;
  std::optional<platform::PreviewReply> page_;
  bool rulesInPlace_ = false;
  bool loadedOnce_ = false;
  bool loadExpected_ = false;
  // Each page shown gets the next version; the versions last served and last loaded whole
  // tell whether the document in the view is the latest page.
  unsigned pageVersion_ = 0;
  unsigned servedVersion_ = 0;
  unsigned finishedVersion_ = 0;
  std::string fragmentWanted_;    // the id to scroll to once the latest page is in the view
  std::string movingTo_;          // the address of a move the window asked for, until decided
  bool reloadAfterMove_ = false;  // a reload waits for the move off a fragment
};

}  // namespace viewer
