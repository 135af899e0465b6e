// The preview window for one Markdown file: the page (or a message in its place), the
// outline beside it, the find bar, the window's keys, and a fresh page whenever the file
// changes.
#include "viewer/window/preview_window.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <memory>
#include <utility>
#include <vector>

#include "platform/file_url.h"
#include "preview/page_constants.h"
#include "viewer/window/conversion_helpers.h"
#include "viewer/window/file_watch.h"
#include "viewer/window/find_bar.h"
#include "viewer/window/link_status.h"
#include "viewer/window/message_view.h"
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
  void open(GtkApplication* application, const std::string& path, FirstShown shown);
  void render();
  void showOutline(bool shown);
  bool isOpen() const { return window_ != nullptr; }
  const PageView* pageView() const { return pageView_.get(); }
  std::string directory() const { return std::filesystem::path(path_).parent_path(); }

 private:
  void showOutcome(platform::PreviewOutcome outcome);
  void showMessage(const std::string& headline, const std::string& detail,
                   const platform::PreviewFailure& failure);
  void present(int width, int height, const std::optional<platform::PreviewFailure>& failure);
  WindowKeyActions keyActions();

  std::string path_;  // absolute
  std::string name_;  // for display
  GtkWindow* window_ = nullptr;
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

// Whether pages get the GitHub extras: one setting for every window, remembered for the
// user; changing it renders every open window again.
GAction* githubExtrasAction() {
  static GSimpleAction* const action = [] {
    GSimpleAction* made = g_simple_action_new_stateful(
        "github-extras", nullptr, g_variant_new_boolean(githubExtrasRemembered()));
    g_signal_connect(made, "change-state",
                     G_CALLBACK(+[](GSimpleAction* changed, GVariant* state, gpointer) {
                       g_simple_action_set_state(changed, state);
                       rememberGithubExtras(g_variant_get_boolean(state));
                       for (const auto& window : openWindows) window->render();
                     }),
                     nullptr);
    return made;
  }();
  return G_ACTION(action);
}

// Whether windows show their outline: one setting for every window, remembered like the
// extras. Each window's header-bar button follows it as "window.outline".
GAction* outlineAction() {
  static GSimpleAction* const action = [] {
    GSimpleAction* made = g_simple_action_new_stateful("outline", nullptr,
                                                       g_variant_new_boolean(outlineRemembered()));
    g_signal_connect(made, "change-state",
                     G_CALLBACK(+[](GSimpleAction* changed, GVariant* state, gpointer) {
                       g_simple_action_set_state(changed, state);
                       rememberOutline(g_variant_get_boolean(state));
                       for (const auto& window : openWindows) {
                         window->showOutline(g_variant_get_boolean(state));
                       }
                     }),
                     nullptr);
    return made;
  }();
  return G_ACTION(action);
}

bool outlineWanted() {
  GVariant* state = g_action_get_state(outlineAction());
  const bool shown = g_variant_get_boolean(state);
  g_variant_unref(state);
  return shown;
}

// An outline shown from the start widens the window rather than narrowing the page.
int windowWidth(int pageWidth) { return pageWidth + (outlineWanted() ? kOutlineWidth : 0); }

quillory::Extras wantedExtras() {
  GVariant* state = g_action_get_state(githubExtrasAction());
  const bool github = g_variant_get_boolean(state);
  g_variant_unref(state);
  return github ? quillory::Extras::github : quillory::Extras::none;
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
  // The window's own header bar, holding the outline's button.
  GSimpleActionGroup* actions = g_simple_action_group_new();
  g_action_map_add_action(G_ACTION_MAP(actions), outlineAction());
  gtk_widget_insert_action_group(GTK_WIDGET(window_), "window", G_ACTION_GROUP(actions));
  g_object_unref(actions);
  GtkWidget* header = gtk_header_bar_new();
  gtk_header_bar_pack_start(GTK_HEADER_BAR(header), outlineToggle("window.outline"));
  gtk_window_set_titlebar(window_, header);
  installWindowKeys(window_, keyActions());
  // Its surface is made now, not when the window is first shown.
  gtk_window_set_default_size(window_, windowWidth(kDefaultWidth), kDefaultHeight);
  gtk_widget_realize(GTK_WIDGET(window_));
}

// The window holds the application from now on.
void PreviewWindow::open(GtkApplication* application, const std::string& path, FirstShown shown) {
  path_ = platform::FileURL::fileURLWithPath(path).path();
  gchar* name = g_filename_display_basename(path_.c_str());
  name_ = name;
  g_free(name);
  shown_ = std::move(shown);
  holdHelper(directory());
  gtk_window_set_application(window_, application);
  gtk_window_set_title(window_, name_.c_str());
  pageView_->onFailure([this](const platform::PreviewFailure& failure) {
    showMessage("“" + name_ + "” cannot be shown", failure.message,
                {path_, failure.error, failure.message});
  });
  watch_ = std::make_unique<FileWatch>(path_, [this] { render(); });
  showOutline(outlineWanted());
  render();
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
  requestPage(path_, {.extras = wantedExtras()}, [self, request](platform::PreviewOutcome outcome) {
    auto window = self.lock();
    if (window && window->isOpen() && request == window->latestRequest_) {
      window->showOutcome(std::move(outcome));
    }
  });
}

void PreviewWindow::showOutcome(platform::PreviewOutcome outcome) {
  if (const auto* failure = std::get_if<platform::PreviewFailure>(&outcome)) {
    showMessage("“" + name_ + "” cannot be read", failure->message + "\n" + path_, *failure);
    return;
  }
  auto& reply = std::get<platform::PreviewReply>(outcome);
  const platform::ContentSize size = reply.contentSize;
  setOutline(outline_, pageHeadings(*reply.data), wantedExtras() == quillory::Extras::none);
  pageView_->show(std::move(reply));
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

void openPreviewWindow(GtkApplication* application, const std::string& path, FirstShown shown) {
  prepareWindow();
  auto window = std::exchange(spareWindow, nullptr);
  openWindows.push_back(window);
  window->open(application, path, std::move(shown));
}

}  // namespace viewer
