#pragma once
// The tray item: a StatusNotifierItem on the session bus (through libayatana-appindicator,
// which falls back to an XEmbed tray icon where no item host runs), with the menu
// "Settings", "Start at login", "Hide over full-screen programs" and "Close".
#include <gtk/gtk.h>

#include <functional>
#include <string>

#include "core/owned.h"

struct _AppIndicator;

namespace lumivane {
class ClockController;
} // namespace lumivane

namespace lumivane::gtk {

// The item taken off the tray and let go.
void Withdraw(_AppIndicator* indicator);
// A menu the tray item held.
void DestroyMenu(GtkWidget* menu);

class Tray {
  public:
    // A check item: whether it is on, and turning it on or off (throws Error).
    struct Check {
        std::function<bool()> isOn;
        std::function<void(bool)> turn;
    };
    struct Hooks {
        std::function<void()> settings;
        Check startAtLogin;
        std::function<void()> close;
    };

    // `icon`: an icon name of the theme, or a picture's absolute path. Hiding over
    // full-screen programs is the clock's own.
    Tray(ClockController& controller, Hooks hooks, const std::string& icon);
    Tray(const Tray&) = delete;
    Tray& operator=(const Tray&) = delete;

  private:
    void AddCheck(const char* label, Check& check);
    static void Toggled(GtkCheckMenuItem* item, gpointer self);

    ClockController& controller_;
    Hooks hooks_;
    Check hideFullScreen_;
    Owned<GtkWidget*, &DestroyMenu> menu_;
    Owned<_AppIndicator*, &Withdraw> indicator_;
};

} // namespace lumivane::gtk
