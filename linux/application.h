#pragma once
// The Linux program: one per session (GApplication). The first start opens the clock
// window (which starts the clock), the settings window (shown on a first start) and the
// tray item; starting it again opens the settings window of the one running.
#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>

#include "core/clock/clock_state.h"
#include "core/owned.h"

namespace lumivane::gtk {

class DesktopClock;
class SettingsWindow;
class Tray;

inline constexpr const char* kApplicationId = "org.lumivane.Lumivane";

class Application {
  public:
    explicit Application(ClockState& state);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    int Run(int argc, char** argv);

  private:
    static void Activated(GApplication*, gpointer self);
    void Start();
    void Quit();

    ClockState& state_;
    Owned<GtkApplication*, &g_object_unref> application_;
    std::unique_ptr<DesktopClock> clock_;
    std::unique_ptr<SettingsWindow> settings_;
    std::unique_ptr<Tray> tray_;
    bool started_ = false;
};

// The running program's own path (after an upgrade replaced it, the installed one), for
// the autostart entry and the icon; empty when no program stands there.
std::string ExecutablePath();

} // namespace lumivane::gtk
