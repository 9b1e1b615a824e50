#pragma once
// The tray item: a StatusNotifierItem on the session bus (through libayatana-appindicator,
// which falls back to an XEmbed tray icon where no item host runs), with the menu
// "Settings", "Start at login" and "Close".
#include <gtk/gtk.h>

#include <functional>
#include <string>

struct _AppIndicator;

namespace lumivane {

class Problems;

class Tray {
  public:
    struct Hooks {
        std::function<void()> settings;
        std::function<bool()> startsAtLogin;
        std::function<void(bool)> setStartAtLogin; // throws Error
        std::function<void()> close;
    };

    // `icon`: an icon name of the theme, or a picture's absolute path.
    Tray(Problems& problems, Hooks hooks, const std::string& icon);
    ~Tray();
    Tray(const Tray&) = delete;
    Tray& operator=(const Tray&) = delete;

  private:
    static void StartAtLoginToggled(GtkCheckMenuItem* item, gpointer self);

    Problems& problems_;
    Hooks hooks_;
    _AppIndicator* indicator_ = nullptr;
    GtkWidget* menu_ = nullptr;
    GtkWidget* startAtLogin_ = nullptr;
};

} // namespace lumivane
