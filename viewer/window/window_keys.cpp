// The keys a quick-look window answers. They are caught on their way down to the focused
// widget, so the page cannot take them first.
#include "viewer/window/window_keys.h"

#include <memory>

namespace viewer {
namespace {

using Handler = std::function<bool()>;  // false lets the key go on to the focused widget

void addShortcut(GtkShortcutController* controller, const char* triggers, Handler handler) {
  GtkShortcutAction* action = gtk_callback_action_new(
      [](GtkWidget*, GVariant*, gpointer data) -> gboolean {
        return (*static_cast<Handler*>(data))();
      },
      new Handler(std::move(handler)), [](gpointer data) { delete static_cast<Handler*>(data); });
  gtk_shortcut_controller_add_shortcut(
      controller, gtk_shortcut_new(gtk_shortcut_trigger_parse_string(triggers), action));
}

}  // namespace

void installWindowKeys(GtkWindow* window, WindowKeyActions actions) {
  auto shared = std::make_shared<WindowKeyActions>(std::move(actions));
  GtkEventController* controller = gtk_shortcut_controller_new();
  gtk_event_controller_set_propagation_phase(controller, GTK_PHASE_CAPTURE);
  auto* shortcuts = GTK_SHORTCUT_CONTROLLER(controller);

  addShortcut(shortcuts, "space|Escape", [shared] {
    if (shared->typingInEntry()) return false;
    shared->close();
    return true;
  });
  addShortcut(shortcuts, "<Control>w", [shared] {
    shared->close();
    return true;
  });
  addShortcut(shortcuts, "<Control>c", [shared] {
    if (shared->typingInEntry()) return false;
    shared->copy();
    return true;
  });
  addShortcut(shortcuts, "<Control>plus|<Control>equal|<Control>KP_Add", [shared] {
    shared->zoom(+1);
    return true;
  });
  addShortcut(shortcuts, "<Control>minus|<Control>KP_Subtract", [shared] {
    shared->zoom(-1);
    return true;
  });
  addShortcut(shortcuts, "<Control>0|<Control>KP_0", [shared] {
    shared->zoom(0);
    return true;
  });
  addShortcut(shortcuts, "<Control>f", [shared] {
    shared->find();
    return true;
  });
  addShortcut(shortcuts, "<Control>p", [shared] {
    shared->print();
    return true;
  });
  addShortcut(shortcuts, "<Control>g", [shared] {
    shared->toggleGithubExtras();
    return true;
  });
  addShortcut(shortcuts, "F9", [shared] {
    shared->toggleOutline();
    return true;
  });
  addShortcut(shortcuts, "<Alt>Left|<Alt>KP_Left|Back", [shared] {
    shared->goInHistory(-1);
    return true;
  });
  addShortcut(shortcuts, "<Alt>Right|<Alt>KP_Right|Forward", [shared] {
    shared->goInHistory(+1);
    return true;
  });
  addShortcut(shortcuts, "<Control>o", [shared] {
    shared->open();
    return true;
  });
  gtk_widget_add_controller(GTK_WIDGET(window), controller);
}

}  // namespace viewer
