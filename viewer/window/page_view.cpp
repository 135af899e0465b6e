// The web view that shows the preview page and nothing else. Each document's page is served
// under a scheme of the view's own, at an address that follows the document's path, so
// that reloading it after a change, or going back to it, keeps its scroll position without
// any script, and its relative links name the files they point to.
#include "viewer/window/page_view.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <string_view>
#include <utility>

#include "viewer/window/browser_launch.h"
#include "viewer/window/content_filter.h"
#include "viewer/window/navigation_policy.h"
#include "viewer/window/page_policy.h"

namespace viewer {
namespace {

constexpr const char* kPageScheme = "quillory-view";
// Of the documents' origin (a page of another origin would move the view to another web
// process at the first document), and no document's address itself: its path is empty.
constexpr const char* kBlankURI = "quillory-view://document";
// A fragment that names no element (an id of one space): a page moved there stays put.
constexpr const char* kNoElementFragment = "#%20";
// Where a web view keeps the page view it belongs to, for the scheme shared by a context.
constexpr const char* kPageViewKey = "quillory-page-view";
// Shown until the first page is ready.
constexpr const char* kBlankPage = "<!DOCTYPE html><title></title>";

constexpr std::array<std::string_view, 5> kSpeculativeFeatures = {
    "LinkPreconnect", "LinkPreconnectEarlyHints", "LinkDNSPrefetch", "LinkPrefetch", "LinkPreload"};

WebKitSettings* lockedDownSettings() {
  WebKitSettings* settings = webkit_settings_new();
  webkit_settings_set_enable_javascript(settings, FALSE);
  webkit_settings_set_enable_javascript_markup(settings, FALSE);
  webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
  webkit_settings_set_javascript_can_access_clipboard(settings, FALSE);
  webkit_settings_set_enable_media(settings, FALSE);
  webkit_settings_set_enable_webaudio(settings, FALSE);
  webkit_settings_set_enable_webgl(settings, FALSE);
  webkit_settings_set_enable_webrtc(settings, FALSE);
  webkit_settings_set_enable_fullscreen(settings, FALSE);
  webkit_settings_set_enable_developer_extras(settings, FALSE);
  webkit_settings_set_enable_back_forward_navigation_gestures(settings, FALSE);
  webkit_settings_set_enable_page_cache(settings, FALSE);
  webkit_settings_set_default_charset(settings, "utf-8");
  // A still page of text needs no compositing; without it the first paint comes sooner.
  webkit_settings_set_hardware_acceleration_policy(settings,
                                                   WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  // No connection ahead of need: the page may name servers, but nothing speculates on them.
  WebKitFeatureList* features = webkit_settings_get_all_features();
  for (gsize i = 0; i < webkit_feature_list_get_length(features); ++i) {
    WebKitFeature* feature = webkit_feature_list_get(features, i);
    std::string_view id = webkit_feature_get_identifier(feature);
    if (std::find(kSpeculativeFeatures.begin(), kSpeculativeFeatures.end(), id) !=
        kSpeculativeFeatures.end()) {
      webkit_settings_set_feature_enabled(settings, feature, FALSE);
    }
  }
  webkit_feature_list_unref(features);
  return settings;
}

// Keeps only the copying entries of the page's context menu.
void trimContextMenu(WebKitContextMenu* menu) {
  GList* items = g_list_copy(webkit_context_menu_get_items(menu));
  for (GList* entry = items; entry != nullptr; entry = entry->next) {
    auto* item = static_cast<WebKitContextMenuItem*>(entry->data);
    switch (webkit_context_menu_item_get_stock_action(item)) {
      case WEBKIT_CONTEXT_MENU_ACTION_COPY:
      case WEBKIT_CONTEXT_MENU_ACTION_SELECT_ALL:
      case WEBKIT_CONTEXT_MENU_ACTION_COPY_LINK_TO_CLIPBOARD:
      case WEBKIT_CONTEXT_MENU_ACTION_COPY_IMAGE_TO_CLIPBOARD:
        break;
      default:
        webkit_context_menu_remove(menu, item);
    }
  }
  g_list_free(items);
}

std::string withoutFragment(const char* uri) {
  std::string text = uri;
  return text.substr(0, text.find('#'));
}

}  // namespace

// The copying entries of the page's menu, then ours; no menu when none is left.
gboolean PageView::buildContextMenu(WebKitWebView*, WebKitContextMenu* menu, WebKitHitTestResult*,
                                    gpointer self) {
  trimContextMenu(menu);
  const auto& entries = static_cast<PageView*>(self)->menuEntries_;
  if (!entries.empty() && webkit_context_menu_get_n_items(menu) > 0) {
    webkit_context_menu_append(menu, webkit_context_menu_item_new_separator());
  }
  for (const auto& [action, label] : entries) {
    webkit_context_menu_append(
        menu, webkit_context_menu_item_new_from_gaction(action, label.c_str(), nullptr));
  }
  return webkit_context_menu_get_n_items(menu) == 0;
}

void PageView::addMenuEntry(GAction* action, const std::string& label) {
  menuEntries_.emplace_back(G_ACTION(g_object_ref(action)), label);
}

PageView::PageView(const PageView* related) {
  WebKitSettings* settings = lockedDownSettings();
  if (related != nullptr && related->rulesInPlace_) {
    // The related view's web process, network session and blocking rules serve this one.
    view_ = WEBKIT_WEB_VIEW(g_object_ref_sink(g_object_new(
        WEBKIT_TYPE_WEB_VIEW, "related-view", related->view_, "user-content-manager",
        webkit_web_view_get_user_content_manager(related->view_), "settings", settings, nullptr)));
    context_ = WEBKIT_WEB_CONTEXT(g_object_ref(webkit_web_view_get_context(view_)));
    rulesInPlace_ = true;
  } else {
    context_ = webkit_web_context_new();
    webkit_web_context_register_uri_scheme(context_, kPageScheme, serve, nullptr, nullptr);
    WebKitNetworkSession* session = webkit_network_session_new_ephemeral();
    WebKitUserContentManager* contentManager = webkit_user_content_manager_new();
    view_ = WEBKIT_WEB_VIEW(g_object_ref_sink(
        g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context_, "network-session", session,
                     "user-content-manager", contentManager, "settings", settings, nullptr)));
    g_object_unref(session);
    g_object_unref(contentManager);
  }
  g_object_unref(settings);
  g_object_set_data(G_OBJECT(view_), kPageViewKey, this);

  g_signal_connect(view_, "decide-policy", G_CALLBACK(decidePolicy), this);
  g_signal_connect(view_, "context-menu", G_CALLBACK(buildContextMenu), this);
  followFileLinks();
  // A failed or refused load leaves the view as it is, instead of WebKit's error page.
  g_signal_connect(view_, "load-failed",
                   G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent, gchar* uri, GError*,
                                  gpointer data) -> gboolean {
                     auto* self = static_cast<PageView*>(data);
                     // It stays allowed (see below), but adds no entry to the history.
                     if (uri != nullptr && withoutFragment(uri) == self->expectedURI_) {
                       self->expectedIsNewEntry_ = false;
                     }
                     return TRUE;
                   }),
                   this);
  // WebKit may ask again about a load it was allowed (when it moves the page to another web
  // process): the page the view asked for stays expected until it is in place.
  g_signal_connect(view_, "load-changed",
                   G_CALLBACK(+[](WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
                     auto* self = static_cast<PageView*>(data);
                     const char* uri = webkit_web_view_get_uri(view);
                     if (event == WEBKIT_LOAD_COMMITTED) self->fileLink_.clear();
                     if (event == WEBKIT_LOAD_COMMITTED && uri != nullptr &&
                         withoutFragment(uri) == self->expectedURI_) {
                       self->expectedURI_.clear();
                     }
                     if (event == WEBKIT_LOAD_FINISHED && !self->fragmentWanted_.empty() &&
                         self->expectedURI_.empty()) {
                       self->moveToWantedFragment();
                     }
                   }),
                   this);
  g_signal_connect(view_, "notify::uri",
                   G_CALLBACK(+[](WebKitWebView* view, GParamSpec*, gpointer data) {
                     // Moved off a fragment (or the reader clicked an in-page link at that
                     // moment): the reload waiting for it follows.
                     auto* self = static_cast<PageView*>(data);
                     if (std::exchange(self->reloadAfterMove_, false)) webkit_web_view_reload(view);
                   }),
                   this);
  g_signal_connect(
      webkit_web_view_get_back_forward_list(view_), "changed",
      G_CALLBACK(+[](WebKitBackForwardList*, WebKitBackForwardListItem*, gpointer, gpointer data) {
        auto* self = static_cast<PageView*>(data);
        if (self->historyChanged_) self->historyChanged_();
      }),
      this);
  g_signal_connect(
      view_, "web-process-terminated",
      G_CALLBACK(+[](WebKitWebView*, WebKitWebProcessTerminationReason reason, gpointer data) {
        auto* self = static_cast<PageView*>(data);
        self->loadedOnce_ = false;
        if (reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT) {
          self->fail(ENOMEM, "the page needed more memory than allowed");
        } else {
          self->fail(ECHILD, "the process that draws the page stopped");
        }
      }),
      this);

  if (rulesInPlace_) {
    load({});
    return;
  }
  // Nothing is loaded before the rules that block remote content are in place.
  installContentFilter(webkit_web_view_get_user_content_manager(view_), kPageScheme,
                       [this](const std::string& failure) {
                         if (!failure.empty()) {
                           fail(EPERM, "remote content cannot be blocked: " + failure);
                           return;
                         }
                         rulesInPlace_ = true;
                         load({});
                       });
}

PageView::~PageView() {
  g_object_set_data(G_OBJECT(view_), kPageViewKey, nullptr);
  g_signal_handlers_disconnect_by_data(view_, this);
  g_signal_handlers_disconnect_by_data(webkit_web_view_get_back_forward_list(view_), this);
  g_object_unref(view_);
  g_object_unref(context_);
  for (auto& [action, label] : menuEntries_) g_object_unref(action);
}

void PageView::onFailure(std::function<void(const platform::PreviewFailure&)> failed) {
  failed_ = std::move(failed);
  if (failure_) failed_(*std::exchange(failure_, std::nullopt));
}

void PageView::fail(int error, const std::string& message) {
  platform::PreviewFailure failure{{}, error, message};
  if (failed_) {
    failed_(failure);
  } else {
    failure_ = std::move(failure);
  }
}

// WebKit drops a click on a file: link of the page before it asks the policy (the page is
// not of a local scheme), so such clicks are caught on their way to the view: the link under
// the pointer, pressed with the first or middle button, goes to the window (WebKit takes
// the release for itself).
void PageView::followFileLinks() {
  g_signal_connect(view_, "mouse-target-changed",
                   G_CALLBACK(+[](WebKitWebView*, WebKitHitTestResult* hit, guint, gpointer data) {
                     const char* uri = webkit_hit_test_result_context_is_link(hit)
                                           ? webkit_hit_test_result_get_link_uri(hit)
                                           : nullptr;
                     auto* self = static_cast<PageView*>(data);
                     self->fileLink_ = uri != nullptr && g_str_has_prefix(uri, "file:") ? uri : "";
                     self->fileLinkAt_ = self->pointerAt_;
                   }),
                   this);
  // The link WebKit reports is the one under the pointer where it last stopped: a press
  // elsewhere, before WebKit caught up, or on a page loaded since, is not on it.
  GtkEventController* motion = gtk_event_controller_motion_new();
  g_signal_connect(motion, "motion",
                   G_CALLBACK(+[](GtkEventControllerMotion*, double x, double y, gpointer data) {
                     static_cast<PageView*>(data)->pointerAt_ = std::pair(x, y);
                   }),
                   this);
  gtk_widget_add_controller(GTK_WIDGET(view_), motion);
  GtkGesture* click = gtk_gesture_click_new();
  gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(click), 0);
  gtk_event_controller_set_propagation_phase(GTK_EVENT_CONTROLLER(click), GTK_PHASE_CAPTURE);
  g_signal_connect(
      click, "pressed",
      G_CALLBACK(+[](GtkGestureClick* gesture, int, double x, double y, gpointer data) {
        auto* self = static_cast<PageView*>(data);
        constexpr double kNear = 3;
        if (std::abs(x - self->fileLinkAt_.first) > kNear ||
            std::abs(y - self->fileLinkAt_.second) > kNear) {
          return;
        }
        const guint button = gtk_gesture_single_get_current_button(GTK_GESTURE_SINGLE(gesture));
        self->followFileLink(
            button, gtk_event_controller_get_current_event_state(GTK_EVENT_CONTROLLER(gesture)));
      }),
      this);
  gtk_widget_add_controller(GTK_WIDGET(view_), GTK_EVENT_CONTROLLER(click));
}

void PageView::followFileLink(guint button, GdkModifierType state) {
  if (fileLink_.empty() || !followLocalLink_ ||
      (button != GDK_BUTTON_PRIMARY && button != GDK_BUTTON_MIDDLE)) {
    return;
  }
  const bool newWindow = button == GDK_BUTTON_MIDDLE || (state & GDK_CONTROL_MASK) != 0;
  const auto verdict = decideNavigation({fileLink_, true, newWindow, false}, pageURI_);
  if (verdict == NavigationVerdict::openLocal ||
      verdict == NavigationVerdict::openLocalInNewWindow) {
    followLocalLink_(fileLink_, verdict == NavigationVerdict::openLocalInNewWindow);
  }
}

void PageView::onLocalLink(std::function<void(const std::string&, bool)> follow) {
  followLocalLink_ = std::move(follow);
}

void PageView::onHistoryChanged(std::function<void()> changed) {
  historyChanged_ = std::move(changed);
}

void PageView::show(platform::PreviewReply reply, const std::string& path,
                    const std::string& fragment) {
  page_ = std::move(reply);
  pageURI_ = documentPageURI(path);
  if (rulesInPlace_) load(fragment);
}

// Moving to a fragment of the page that is shown scrolls it, without loading it again. While
// the latest page is still on its way, a move would apply to the document before it and
// cancel that load, so it waits for the page.
void PageView::scrollTo(const std::string& id) {
  fragmentWanted_ = id;
  if (page_ && expectedURI_.empty() && !webkit_web_view_is_loading(view_)) moveToWantedFragment();
}

void PageView::moveToWantedFragment() {
  gchar* fragment = g_uri_escape_string(fragmentWanted_.c_str(), nullptr, FALSE);
  fragmentWanted_.clear();
  movingTo_ = pageURI_ + "#" + fragment;
  g_free(fragment);
  webkit_web_view_load_uri(view_, movingTo_.c_str());
}

void PageView::load(const std::string& fragment) {
  if (reloadAfterMove_ && shownURI_ == pageURI_) return;  // that reload serves the page then
  expectedURI_ = page_ ? pageURI_ : kBlankURI;
  expectedIsNewEntry_ = false;
  const char* uri = webkit_web_view_get_uri(view_);
  const bool atFragment = uri != nullptr && std::strchr(uri, '#') != nullptr &&
                          !g_str_has_suffix(uri, kNoElementFragment);
  const bool sameDocument = loadedOnce_ && shownURI_ == pageURI_;
  const bool idle = !webkit_web_view_is_loading(view_);
  if (!page_) {
    webkit_web_view_load_uri(view_, kBlankURI);
  } else if (sameDocument && idle && atFragment) {
    // WebKit restores the scroll position on reload, unless the address names an element:
    // then it scrolls to that element again. So the page first moves, in place, to a
    // fragment that names none, and reloads from there.
    reloadAfterMove_ = true;
    movingTo_ = pageURI_ + kNoElementFragment;
    webkit_web_view_load_uri(view_, movingTo_.c_str());
  } else if (sameDocument && idle) {
    webkit_web_view_reload(view_);  // WebKit restores the scroll position on reload
  } else if (sameDocument) {
    // A reload now would load the page before the one still on its way.
    webkit_web_view_load_uri(view_, pageURI_.c_str());
  } else {
    loadedOnce_ = true;
    shownURI_ = pageURI_;
    expectedIsNewEntry_ = true;
    webkit_web_view_load_uri(view_,
                             (fragment.empty() ? pageURI_ : pageURI_ + "#" + fragment).c_str());
  }
}

// While another document's page is on its way, and not yet in the history, the page still
// shown is the one to go back to, and there is nothing ahead.
WebKitBackForwardListItem* PageView::historyItem(int step) const {
  const bool entryOnItsWay = !expectedURI_.empty() && expectedIsNewEntry_;
  if (entryOnItsWay && step > 0) return nullptr;
  return webkit_back_forward_list_get_nth_item(webkit_web_view_get_back_forward_list(view_),
                                               entryOnItsWay ? step + 1 : step);
}

std::optional<std::string> PageView::historyDocument(int step) const {
  WebKitBackForwardListItem* item = historyItem(step);
  const char* uri = item != nullptr ? webkit_back_forward_list_item_get_uri(item) : nullptr;
  // The blank page the view starts on is no document.
  auto target = uri != nullptr ? localTargetOf(uri) : std::nullopt;
  if (!target) return std::nullopt;
  return target->path;
}

void PageView::showFromHistory(platform::PreviewReply reply, int step) {
  WebKitBackForwardListItem* item = historyItem(step);
  const auto path = historyDocument(step);
  if (!path || !rulesInPlace_) return;
  page_ = std::move(reply);
  pageURI_ = shownURI_ = expectedURI_ = documentPageURI(*path);
  expectedIsNewEntry_ = false;
  // Back while a linked page is still on its way goes to the entry shown: WebKit would load
  // that anew at its top, but a reload keeps its scroll position (and drops the linked page).
  if (item ==
      webkit_back_forward_list_get_current_item(webkit_web_view_get_back_forward_list(view_))) {
    webkit_web_view_reload(view_);
    return;
  }
  // Unless it is an anchor of the page shown, WebKit loads the entry's address again and
  // puts the page back at the scroll position it kept for the entry.
  webkit_web_view_go_to_back_forward_list_item(view_, item);
}

void PageView::serve(WebKitURISchemeRequest* request, gpointer) {
  auto* self = static_cast<PageView*>(
      g_object_get_data(G_OBJECT(webkit_uri_scheme_request_get_web_view(request)), kPageViewKey));
  const std::string uri =
      self != nullptr ? withoutFragment(webkit_uri_scheme_request_get_uri(request)) : "";
  const bool blankPage = uri == kBlankURI;
  if (self == nullptr || (!blankPage && (!self->page_ || uri != self->pageURI_))) {
    GError* error = g_error_new_literal(G_IO_ERROR, G_IO_ERROR_PERMISSION_DENIED,
                                        "only the preview page is served");
    webkit_uri_scheme_request_finish_error(request, error);
    g_error_free(error);
    return;
  }
  // The stream reads the page's own buffer, which it keeps alive until it is done.
  static const auto blank = std::make_shared<const std::string>(kBlankPage);
  const auto page = blankPage ? blank : self->page_->data;
  const std::string& text = *page;
  GBytes* bytes = g_bytes_new_with_free_func(
      text.data(), text.size(),
      [](gpointer held) { delete static_cast<std::shared_ptr<const std::string>*>(held); },
      new std::shared_ptr<const std::string>(page));
  GInputStream* stream = g_memory_input_stream_new_from_bytes(bytes);
  WebKitURISchemeResponse* response =
      webkit_uri_scheme_response_new(stream, static_cast<gint64>(text.size()));
  webkit_uri_scheme_response_set_content_type(
      response, std::string(platform::PreviewReply::contentType).c_str());
  // The policy goes in a response header, which WebKit enforces together with the page's
  // own meta policy. The view's default-content-security-policy property is left unset:
  // WebKit lets it replace the page's meta policy rather than add to it.
  SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
  soup_message_headers_append(headers, "Content-Security-Policy",
                              servedPagePolicy(blankPage ? "" : self->page_->nonce).c_str());
  webkit_uri_scheme_response_set_http_headers(response, headers);
  webkit_uri_scheme_request_finish_with_response(request, response);
  g_object_unref(response);
  g_object_unref(stream);
  g_bytes_unref(bytes);
}

gboolean PageView::decidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                WebKitPolicyDecisionType type, gpointer data) {
  auto* self = static_cast<PageView*>(data);
  if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
    auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
    const char* uri =
        webkit_uri_request_get_uri(webkit_response_policy_decision_get_request(response));
    if (webkit_response_policy_decision_is_main_frame_main_resource(response) &&
        (withoutFragment(uri) == self->pageURI_ || withoutFragment(uri) == kBlankURI)) {
      webkit_policy_decision_use(decision);
    } else {
      webkit_policy_decision_ignore(decision);
    }
    return TRUE;
  }

  WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
      WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  Navigation navigation;
  navigation.uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
  // A move the window made for the user (its outline) counts as a link they clicked.
  const bool askedMove = !self->movingTo_.empty() && navigation.uri == self->movingTo_;
  if (askedMove) self->movingTo_.clear();
  navigation.userClickedLink = askedMove || (webkit_navigation_action_get_navigation_type(action) ==
                                                 WEBKIT_NAVIGATION_TYPE_LINK_CLICKED &&
                                             webkit_navigation_action_is_user_gesture(action));
  navigation.newWindow = type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION ||
                         webkit_navigation_action_get_mouse_button(action) == GDK_BUTTON_MIDDLE ||
                         (webkit_navigation_action_get_modifiers(action) & GDK_CONTROL_MASK) != 0;
  navigation.loadExpected = withoutFragment(navigation.uri.c_str()) == self->expectedURI_;

  const auto verdict = decideNavigation(
      navigation, self->page_ ? std::string_view(self->pageURI_) : std::string_view(kBlankURI));
  switch (verdict) {
    case NavigationVerdict::showPage:
      webkit_policy_decision_use(decision);
      break;
    case NavigationVerdict::moveWithinPage:
      webkit_policy_decision_use(decision);
      break;
    case NavigationVerdict::openLocal:
    case NavigationVerdict::openLocalInNewWindow:
      webkit_policy_decision_ignore(decision);
      if (self->followLocalLink_) {
        self->followLocalLink_(navigation.uri, verdict == NavigationVerdict::openLocalInNewWindow);
      }
      break;
    case NavigationVerdict::openInBrowser:
      webkit_policy_decision_ignore(decision);
      openInDefaultBrowser(GTK_WIDGET(view), navigation.uri);
      break;
    case NavigationVerdict::refuse:
      webkit_policy_decision_ignore(decision);
      break;
  }
  return TRUE;
}

}  // namespace viewer
