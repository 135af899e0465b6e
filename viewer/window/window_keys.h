// The keys a quick-look window answers, whatever part of it has the focus.
#pragma once

#include <gtk/gtk.h>

#include <functional>

namespace viewer {

struct WindowKeyActions {
  std::function<void()> close;               // Space, Escape, Ctrl+W
  std::function<void()> copy;                // Ctrl+C
  std::function<void(int)> zoom;             // Ctrl+plus (+1), Ctrl+minus (-1), Ctrl+0 (0)
  std::function<void()> find;                // Ctrl+F
  std::function<void()> print;               // Ctrl+P
  std::function<void()> toggleGithubExtras;  // Ctrl+G
  std::function<void()> toggleOutline;       // F9
  std::function<void(int)> goInHistory;      // Alt+Left (-1), Alt+Right (+1)
  std::function<void()> open;                // Ctrl+O
  // True while a text entry of the window (the find bar) takes typing: Space, Escape and
  // Ctrl+C then go to the entry.
  std::function<bool()> typingInEntry;
};

void installWindowKeys(GtkWindow* window, WindowKeyActions actions);

}  // namespace viewer
