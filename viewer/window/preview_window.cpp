// The preview window: the page of the document it shows (or a message in its place), the
// outline beside it, the header bar, the find bar, the window's keys, a fresh page whenever
// the document changes, and the documents it was led to by links, its history and the files
// opened in it.
#include "viewer/window/preview_window.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <array>
#include <memory>
#include <utility>
#include <vector>

#include "platform/file_url.h"
#include "preview/page_constants.h"
#include "viewer/window/conversion_helpers.h"
#include "viewer/window/file_manager.h"
#include "viewer/window/file_watch.h"
#include "viewer/window/find_bar.h"
#include "viewer/window/header_bar.h"
#include "viewer/window/link_destination.h"
#include "viewer/window/link_status.h"
#include "viewer/window/message_view.h"
#include "viewer/window/navigation_policy.h"
#include "viewer/window/outline_panel.h"
#include "viewer/window/page_headings.h"
#include "viewer/window/page_view.h"
#include "viewer/window/settings.h"
#include "viewer/window/window_keys.h"

namespace viewer {
namespace {

// Used until the previewer answers with its preferred size, and for messages.
constexpr int kDefaultWidth = quillory::kPreferredPageSize.width;
constexpr int kDefaultHeight = quillory::kPreferredPageSize.height;

constexpr std::array<double, 13> kZoomLevels = {0.5,  0.67, 0.75, 0.8, 0.9, 1.0, 1.1,
                                                1.25, 1.5,  1.75, 2.0, 2.5, 3.0};

double nextZoomLevel(double current, int direction) {
  if (direction == 0) return 1.0;
  if (direction > 0) {
    auto next = std::upper_bound(kZoomLevels.begin(), kZoomLevels.end(), current + 1e-6);
    return next == kZoomLevels.end() ? kZoomLevels.back() : *next;
  }
  auto next = std::lower_bound(kZoomLevels.begin(), kZoomLevels.end(), current - 1e-6);
  return next == kZoomLevels.begin() ? kZoomLevels.front() : *(next - 1);
}

// Made hidden, ahead of need, with its page view's web process started; then opened on
// a file.
class PreviewWindow : public std::enable_shared_from_this<PreviewWindow> {
 public:
  explicit PreviewWindow(const PageView* related);
  ~PreviewWindow();
  void open(GtkApplication* application, const std::string& path, const std::string& fragment,
            FirstShown shown);
  void render();
  void showOutline(bool shown);
  bool isOpen() const { return window_ != nullptr; }
  const PageView* pageView() const { return pageView_.get(); }
  std::string directory() const { return platform::deletingLastPathComponent(path_); }

 private:
  void showOutcome(platform::PreviewOutcome outcome, const std::string& fragment = {},
                   int historyStep = 0);
  void setDocument(const std::string& path);
  void followLink(const std::string& uri, bool newWindow);
  void showTarget(const LinkDestination& destination, const std::string& fragment, bool linked);
  void navigate(const std::string& path, const std::string& fragment, int historyStep);
  void goInHistory(int step);
  void chooseFile();
  void tell(const std::string& text);
  void installPointerAndDrop();
  void showMessage(const std::string& headline, const std::string& detail,
                   const platform::PreviewFailure& failure);
  void present(int width, int height, const std::optional<platform::PreviewFailure>& failure);
  WindowKeyActions keyActions();

  std::string path_;  // of the document shown, absolute
  std::string name_;  // for display
  GtkWindow* window_ = nullptr;
  GtkWidget* headerBar_ = nullptr;
  GtkWidget* stack_ = nullptr;
  GtkWidget* findBar_ = nullptr;
  GtkWidget* pageArea_ = nullptr;
  GtkWidget* messageView_ = nullptr;
  GtkWidget* outline_ = nullptr;
  std::unique_ptr<PageView> pageView_;
  std::unique_ptr<FileWatch> watch_;
  unsigned latestRequest_ = 0;
  FirstShown shown_;  // empty once the window is presented
};

// The windows that are open, each kept until its window is destroyed.
std::vector<std::shared_ptr<PreviewWindow>> openWindows;

// The next window, made ahead.
std::shared_ptr<PreviewWindow> spareWindow;

// A setting for every window, remembered for the user: each change is remembered, then
// applied to the open windows.
struct Toggle {
  void (*remember)(bool on);
  void (*apply)(bool on);
};

GAction* rememberedToggle(const char* name, bool remembered, const Toggle& toggle) {
  GSimpleAction* made =
      g_simple_action_new_stateful(name, nullptr, g_variant_new_boolean(remembered));
  g_signal_connect(made, "change-state",
                   G_CALLBACK(+[](GSimpleAction* changed, GVariant* state, gpointer data) {
                     g_simple_action_set_state(changed, state);
                     const auto* toggle = static_cast<const Toggle*>(data);
                     toggle->remember(g_variant_get_boolean(state));
                     toggle->apply(g_variant_get_boolean(state));
                   }),
                   const_cast<Toggle*>(&toggle));
  return G_ACTION(made);
}

bool isOn(GAction* action) {
  GVariant* state = g_action_get_state(action);
  const bool on = g_variant_get_boolean(state);
  g_variant_unref(state);
  return on;
}

// Whether pages get the GitHub extras; changing it renders every open window again.
GAction* githubExtrasAction() {
  static constexpr Toggle kExtras{rememberGithubExtras, [](bool) {
                                    for (const auto& window : openWindows) window->render();
                                  }};
  static GAction* const action =
      rememberedToggle("github-extras", githubExtrasRemembered(), kExtras);
  return action;
}

// Whether windows show their outline. Each window's header-bar button follows it as
// "window.outline".
GAction* outlineAction() {
  static constexpr Toggle kOutline{rememberOutline, [](bool shown) {
                                     for (const auto& window : openWindows) {
                                       window->showOutline(shown);
                                     }
                                   }};
  static GAction* const action = rememberedToggle("outline", outlineRemembered(), kOutline);
  return action;
}

bool outlineWanted() { return isOn(outlineAction()); }

// An outline shown from the start widens the window rather than narrowing the page.
int windowWidth(int pageWidth) { return pageWidth + (outlineWanted() ? kOutlineWidth : 0); }

quillory::Extras wantedExtras() {
  return isOn(githubExtrasAction()) ? quillory::Extras::github : quillory::Extras::none;
}

// The file's name as the window shows it.
std::string displayName(const std::string& path) {
  gchar* name = g_filename_display_basename(path.c_str());
  std::string shown = name;
  g_free(name);
  return shown;
}

// Once a window shows its content, the next window is made, off the path of this one's
// first paint.
void prepareSpareWindow() {
  constexpr guint kAfterFirstPaintMilliseconds = 1000;
  g_timeout_add_once(
      kAfterFirstPaintMilliseconds,
      [](gpointer) {
        prepareWindow();
        prepareHelper();
      },
      nullptr);
}

PreviewWindow::~PreviewWindow() {
  watch_.reset();
  pageView_.reset();
}

PreviewWindow::PreviewWindow(const PageView* related) {
  window_ = GTK_WINDOW(gtk_window_new());
  g_signal_connect(window_, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer data) {
                     auto* self = static_cast<PreviewWindow*>(data);
                     self->window_ = nullptr;
                     if (!self->path_.empty()) releaseHelper(self->directory());
                     // Let go of it once the window's own teardown is over.
                     g_idle_add_once(
                         [](gpointer gone) {
                           std::erase_if(openWindows,
                                         [gone](auto& window) { return window.get() == gone; });
                         },
                         self);
                   }),
                   this);

  pageView_ = std::make_unique<PageView>(related);
  pageView_->addMenuEntry(githubExtrasAction(), "GitHub Extras");
  pageView_->onLocalLink(
      [this](const std::string& uri, bool newWindow) { followLink(uri, newWindow); });
  headerBar_ = createHeaderBar([this](int step) { goInHistory(step); });
  gtk_window_set_titlebar(window_, headerBar_);
  pageView_->onHistoryChanged([this] {
    setHistoryButtons(headerBar_, pageView_->historyDocument(-1).has_value(),
                      pageView_->historyDocument(+1).has_value());
  });
  findBar_ = createFindBar(pageView_->webView());
  messageView_ = createMessageView();
  stack_ = gtk_stack_new();
  gtk_widget_set_vexpand(stack_, TRUE);
  pageArea_ = createPageWithLinkStatus(pageView_->webView());
  gtk_stack_add_named(GTK_STACK(stack_), pageArea_, "page");
  gtk_stack_add_named(GTK_STACK(stack_), messageView_, "message");
  outline_ = createOutlinePanel([this](const std::string& id) {
    pageView_->scrollTo(id);
    gtk_widget_grab_focus(GTK_WIDGET(pageView_->webView()));  // keys go on scrolling the page
  });
  GtkWidget* sides = gtk_paned_new(GTK_ORIENTATION_HORIZONTAL);
  gtk_paned_set_start_child(GTK_PANED(sides), outline_);
  gtk_paned_set_end_child(GTK_PANED(sides), stack_);
  gtk_paned_set_resize_start_child(GTK_PANED(sides), FALSE);
  gtk_paned_set_shrink_start_child(GTK_PANED(sides), FALSE);
  gtk_paned_set_position(GTK_PANED(sides), kOutlineWidth);
  GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_box_append(GTK_BOX(column), findBar_);
  gtk_box_append(GTK_BOX(column), sides);
  gtk_window_set_child(window_, column);
  // The outline's button, in the header bar.
  GSimpleActionGroup* actions = g_simple_action_group_new();
  g_action_map_add_action(G_ACTION_MAP(actions), outlineAction());
  gtk_widget_insert_action_group(GTK_WIDGET(window_), "window", G_ACTION_GROUP(actions));
  g_object_unref(actions);
  addToHeaderBar(headerBar_, outlineToggle("window.outline"));
  installWindowKeys(window_, keyActions());
  installPointerAndDrop();
  // Its surface is made now, not when the window is first shown.
  gtk_window_set_default_size(window_, windowWidth(kDefaultWidth), kDefaultHeight);
  gtk_widget_realize(GTK_WIDGET(window_));
}

// The window holds the application from now on. A directory shows its README.
void PreviewWindow::open(GtkApplication* application, const std::string& path,
                         const std::string& fragment, FirstShown shown) {
  shown_ = std::move(shown);
  gtk_window_set_application(window_, application);
  showOutline(outlineWanted());
  pageView_->onFailure([this](const platform::PreviewFailure& failure) {
    showMessage("“" + name_ + "” cannot be shown", failure.message,
                {path_, failure.error, failure.message});
  });
  const std::string absolute = platform::FileURL::fileURLWithPath(path).path();
  const LinkDestination destination = destinationOf(absolute);
  const bool readme = destination.kind == LinkDestination::document && destination.path != absolute;
  setDocument(readme ? destination.path : absolute);
  if (destination.kind == LinkDestination::directoryWithoutReadme) {
    const std::string why = std::string(g_strerror(EISDIR)) + " with no " + kReadmeNames;
    showMessage("“" + name_ + "” has no README", why + "\n" + path_, {path_, EISDIR, why});
    return;
  }
  navigate(path_, fragment, 0);
}

// The document shown from now on: the window's title names it, its directory's helper
// converts it, and its changes are shown.
void PreviewWindow::setDocument(const std::string& path) {
  if (path == path_) return;
  const std::string before = path_.empty() ? "" : directory();
  path_ = path;
  holdHelper(directory());
  if (!before.empty()) releaseHelper(before);
  // A directory new to the window may have taken the helper started ahead: another is
  // started for the next.
  if (!before.empty() && before != directory()) prepareSpareWindow();
  name_ = displayName(path_);
  gtk_window_set_title(window_, name_.c_str());
  watch_ = std::make_unique<FileWatch>(path_, [this] { render(); });
}

// Only Markdown files and directories' READMEs are shown; any other file is left to the
// file manager, which shows where it is without opening it.
void PreviewWindow::followLink(const std::string& uri, bool newWindow) {
  const auto target = localTargetOf(uri);
  if (!target) return;
  const LinkDestination destination = destinationOf(target->path);
  if (newWindow && destination.kind == LinkDestination::document) {
    openPreviewWindow(gtk_window_get_application(window_), destination.path, target->fragment,
                      [](const auto&) {});
    return;
  }
  showTarget(destination, target->fragment, true);
}

// A file or directory to show in this window: one a link leads to (`linked`), or one the
// user chose or dropped, which is shown whatever its name.
void PreviewWindow::showTarget(const LinkDestination& destination, const std::string& fragment,
                               bool linked) {
  const std::string& path = destination.path;
  const std::string name = "“" + displayName(path) + "”";
  switch (destination.kind) {
    case LinkDestination::document:
      navigate(destination.path, fragment, 0);
      return;
    case LinkDestination::missing:
      tell(name + " was not found: " + path);
      return;
    case LinkDestination::directoryWithoutReadme:
      tell(name + " has no " + kReadmeNames);
      return;
    case LinkDestination::otherFile:
      if (!linked) {
        navigate(path, fragment, 0);
        return;
      }
      revealInFileManager(path, [self = weak_from_this(), name](bool revealed) {
        auto window = self.lock();
        if (!window || !window->isOpen()) return;
        window->tell(revealed ? name + " is not a Markdown file: shown in the file manager"
                              : name +
                                    " was not opened: only Markdown files are shown here, "
                                    "and no file manager could show it");
      });
      return;
  }
}

// Converts the document at `path` afresh and shows it: as the next entry of the window's
// history (`historyStep` 0, or the same document again), or as the entry `historyStep`
// back or forward. The page stays when it cannot be shown, and the status line says why.
void PreviewWindow::navigate(const std::string& path, const std::string& fragment,
                             int historyStep) {
  unsigned request = ++latestRequest_;
  std::weak_ptr<PreviewWindow> self = weak_from_this();
  requestPage(path, {.extras = wantedExtras()},
              [self, request, path, fragment, historyStep](platform::PreviewOutcome outcome) {
                auto window = self.lock();
                if (!window || !window->isOpen() || request != window->latestRequest_) return;
                const bool onPage =
                    gtk_stack_get_visible_child(GTK_STACK(window->stack_)) == window->pageArea_;
                auto* reply = std::get_if<platform::PreviewReply>(&outcome);
                if (reply == nullptr && (!onPage || window->shown_)) {
                  window->setDocument(path);
                  window->showOutcome(std::move(outcome));
                  return;
                }
                if (reply == nullptr) {
                  window->tell("“" + displayName(path) + "” cannot be shown: " +
                               std::get<platform::PreviewFailure>(outcome).message);
                  return;
                }
                // The history may have moved on while the page was made.
                if (historyStep != 0 && window->pageView_->historyDocument(historyStep) != path) {
                  return;
                }
                window->setDocument(path);
                window->showOutcome(std::move(outcome), fragment, historyStep);
              });
}

void PreviewWindow::goInHistory(int step) {
  if (auto document = pageView_->historyDocument(step)) navigate(*document, {}, step);
}

void PreviewWindow::tell(const std::string& text) { showStatusMessage(pageArea_, text); }

void PreviewWindow::chooseFile() {
  GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
      "Open a Markdown File", window_, GTK_FILE_CHOOSER_ACTION_OPEN, "_Open", "_Cancel");
  GtkFileFilter* markdown = gtk_file_filter_new();
  gtk_file_filter_set_name(markdown, "Markdown");
  gtk_file_filter_add_mime_type(markdown, "text/markdown");
  for (const char* suffix : {"md", "markdown", "mdown", "mkd", "mkdn"}) {
    gtk_file_filter_add_suffix(markdown, suffix);
  }
  gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), markdown);
  g_object_unref(markdown);
  GFile* folder = g_file_new_for_path(directory().c_str());
  gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), folder, nullptr);
  g_object_unref(folder);
  auto* self = new std::weak_ptr<PreviewWindow>(weak_from_this());
  g_signal_connect(chooser, "response",
                   G_CALLBACK(+[](GtkNativeDialog* dialog, int response, gpointer data) {
                     auto self = std::unique_ptr<std::weak_ptr<PreviewWindow>>(
                         static_cast<std::weak_ptr<PreviewWindow>*>(data));
                     GFile* chosen = response == GTK_RESPONSE_ACCEPT
                                         ? gtk_file_chooser_get_file(GTK_FILE_CHOOSER(dialog))
                                         : nullptr;
                     gchar* path = chosen != nullptr ? g_file_get_path(chosen) : nullptr;
                     auto window = self->lock();
                     if (path != nullptr && window && window->isOpen()) {
                       window->showTarget(destinationOf(path), {}, false);
                     }
                     g_free(path);
                     if (chosen != nullptr) g_object_unref(chosen);
                     g_object_unref(dialog);
                   }),
                   self);
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser));
}

// The mouse's back and forward buttons, and files dropped on the window. Both are caught
// before the page sees them.
void PreviewWindow::installPointerAndDrop() {
  GtkGesture* buttons = gtk_gesture_click_new();
  gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(buttons), 0);
  gtk_event_controller_set_propagation_phase(GTK_EVENT_CONTROLLER(buttons), GTK_PHASE_CAPTURE);
  g_signal_connect(
      buttons, "pressed",
      G_CALLBACK(+[](GtkGestureClick* gesture, int, double, double, gpointer data) {
        constexpr guint kBackButton = 8;
        constexpr guint kForwardButton = 9;
        const guint button = gtk_gesture_single_get_current_button(GTK_GESTURE_SINGLE(gesture));
        if (button != kBackButton && button != kForwardButton) return;
        gtk_gesture_set_state(GTK_GESTURE(gesture), GTK_EVENT_SEQUENCE_CLAIMED);
        static_cast<PreviewWindow*>(data)->goInHistory(button == kBackButton ? -1 : +1);
      }),
      this);
  gtk_widget_add_controller(GTK_WIDGET(window_), GTK_EVENT_CONTROLLER(buttons));

  GtkDropTarget* drop = gtk_drop_target_new(GDK_TYPE_FILE_LIST, GDK_ACTION_COPY);
  gtk_event_controller_set_propagation_phase(GTK_EVENT_CONTROLLER(drop), GTK_PHASE_CAPTURE);
  g_signal_connect(drop, "drop",
                   G_CALLBACK(+[](GtkDropTarget*, const GValue* value, double, double,
                                  gpointer data) -> gboolean {
                     auto* files = static_cast<GSList*>(g_value_get_boxed(value));
                     gchar* path =
                         files != nullptr ? g_file_get_path(G_FILE(files->data)) : nullptr;
                     if (path == nullptr) return FALSE;
                     static_cast<PreviewWindow*>(data)->showTarget(destinationOf(path), {}, false);
                     g_free(path);
                     return TRUE;
                   }),
                   this);
  gtk_widget_add_controller(GTK_WIDGET(window_), GTK_EVENT_CONTROLLER(drop));
}

void PreviewWindow::showOutline(bool shown) { gtk_widget_set_visible(outline_, shown); }

WindowKeyActions PreviewWindow::keyActions() {
  WebKitWebView* view = pageView_->webView();
  return WindowKeyActions{
      .close = [this] { gtk_window_destroy(window_); },
      .copy =
          [view] { webkit_web_view_execute_editing_command(view, WEBKIT_EDITING_COMMAND_COPY); },
      .zoom =
          [view](int direction) {
            webkit_web_view_set_zoom_level(
                view, nextZoomLevel(webkit_web_view_get_zoom_level(view), direction));
          },
      .find = [this] { openFindBar(findBar_); },
      // The toolkit's print dialog, whose "Print to File" writes a PDF.
      .print =
          [this, view] {
            if (gtk_stack_get_visible_child(GTK_STACK(stack_)) != pageArea_) return;
            WebKitPrintOperation* printing = webkit_print_operation_new(view);
            webkit_print_operation_run_dialog(printing, window_);
            g_object_unref(printing);
          },
      .toggleGithubExtras =
          [] {
            g_action_change_state(githubExtrasAction(),
                                  g_variant_new_boolean(wantedExtras() == quillory::Extras::none));
          },
      .toggleOutline = [] { g_action_activate(outlineAction(), nullptr); },
      .goInHistory = [this](int step) { goInHistory(step); },
      .open = [this] { chooseFile(); },
      .typingInEntry =
          [this] {
            GtkWidget* focus = gtk_root_get_focus(GTK_ROOT(window_));
            return focus != nullptr && gtk_widget_is_ancestor(focus, findBar_);
          },
  };
}

// Each change asks for a fresh page; an answer that a later request has overtaken is
// dropped, so the window always ends on the file as it is now.
void PreviewWindow::render() {
  unsigned request = ++latestRequest_;
  std::weak_ptr<PreviewWindow> self = weak_from_this();
  requestPage(path_, {.extras = wantedExtras()},
              [self, request, path = path_](platform::PreviewOutcome outcome) {
                auto window = self.lock();
                if (window && window->isOpen() && request == window->latestRequest_ &&
                    path == window->path_) {
                  window->showOutcome(std::move(outcome));
                }
              });
}

// The page of the document shown, scrolled to `fragment`, or, `historyStep` entries back or
// forward, at the place it was left.
void PreviewWindow::showOutcome(platform::PreviewOutcome outcome, const std::string& fragment,
                                int historyStep) {
  if (const auto* failure = std::get_if<platform::PreviewFailure>(&outcome)) {
    showMessage("“" + name_ + "” cannot be read", failure->message + "\n" + path_, *failure);
    return;
  }
  auto& reply = std::get<platform::PreviewReply>(outcome);
  const platform::ContentSize size = reply.contentSize;
  setOutline(outline_, pageHeadings(*reply.data), wantedExtras() == quillory::Extras::none);
  if (historyStep != 0) {
    pageView_->showFromHistory(std::move(reply), historyStep);
  } else {
    pageView_->show(std::move(reply), path_, fragment);
  }
  gtk_stack_set_visible_child(GTK_STACK(stack_), pageArea_);
  present(size.width, size.height, std::nullopt);
}

void PreviewWindow::showMessage(const std::string& headline, const std::string& detail,
                                const platform::PreviewFailure& failure) {
  setMessage(messageView_, headline, detail);
  setOutline(outline_, {}, false);
  gtk_stack_set_visible_child(GTK_STACK(stack_), messageView_);
  present(kDefaultWidth, kDefaultHeight, failure);
}

// The window appears with its first content, at the size that content asks for.
void PreviewWindow::present(int width, int height,
                            const std::optional<platform::PreviewFailure>& failure) {
  if (!shown_) return;
  gtk_window_set_default_size(window_, windowWidth(width > 0 ? width : kDefaultWidth),
                              height > 0 ? height : kDefaultHeight);
  // Keys scroll the page, not the outline or the header bar.
  gtk_window_set_focus(window_, GTK_WIDGET(pageView_->webView()));
  gtk_window_present(window_);
  std::exchange(shown_, nullptr)(failure);
  prepareSpareWindow();
}

}  // namespace

// The web process of the newest window, warm from its page, serves the next one too.
void prepareWindow() {
  if (spareWindow) return;
  const PageView* related = openWindows.empty() ? nullptr : openWindows.back()->pageView();
  spareWindow = std::make_shared<PreviewWindow>(related);
}

void openPreviewWindow(GtkApplication* application, const std::string& path,
                       const std::string& fragment, FirstShown shown) {
  prepareWindow();
  auto window = std::exchange(spareWindow, nullptr);
  openWindows.push_back(window);
  window->open(application, path, fragment, std::move(shown));
}

}  // namespace viewer
