// The web view that shows the preview page and nothing else: no script, no load but the
// page and its data: images, and clicked links handed to the web browser.
#pragma once

#include <webkit/webkit.h>

#include <functional>
#include <string>

#include "platform/preview_service.h"

namespace viewer {

class PageView {
 public:
  // `failed` runs on the main thread when the view cannot show pages safely or at all:
  // the blocking rules could not be put in place, or the web process ended.
  explicit PageView(std::function<void(const std::string& reason)> failed);
  ~PageView();
  PageView(const PageView&) = delete;
  PageView& operator=(const PageView&) = delete;

  WebKitWebView* webView() const { return view_; }

  // Shows `page`. A page shown before is replaced in place, at the same scroll position.
  void show(std::shared_ptr<const std::string> page);

 private:
  static void serve(WebKitURISchemeRequest* request, gpointer self);
  static gboolean decidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                               WebKitPolicyDecisionType type, gpointer self);
  void load();

  std::function<void(const std::string&)> failed_;
  WebKitWebContext* context_ = nullptr;
  WebKitWebView* view_ = nullptr;
  std::shared_ptr<const std::string> page_;
  bool rulesInPlace_ = false;
  bool loadedOnce_ = false;
  bool loadExpected_ = false;
};

}  // namespace viewer
