#pragma once
// What the clock windows of the Linux program share, whatever the display protocol: the
// clock's life (ClockController), the time of day, the settings file, the timers on the
// GLib main loop and the message box a problem is shown in. Each protocol's clock window
// (x11/, wayland/) adds the window, its pixels and what lies beneath it.
#include <gtk/gtk.h>

#include <array>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/clock/clock_state.h"
#include "core/controller/clock_controller.h"
#include "linux/config_files.h"
#include "linux/main_loop.h"

namespace lumivane::gtk {

class DesktopClock : public ClockPlatform {
  public:
    explicit DesktopClock(ClockState& state);
    DesktopClock(const DesktopClock&) = delete;
    DesktopClock& operator=(const DesktopClock&) = delete;

    ClockController& Controller() { return controller_; }
    virtual GtkWindow* Window() const = 0;
    // What the clock cannot do on this desktop, for the settings window's note; empty
    // when nothing.
    virtual std::string Note() const = 0;

    // ClockPlatform
    std::unique_ptr<SettingsStore> Store() override;
    std::unique_ptr<TDIB> MakeBuffer() override { return std::make_unique<TDIB>(); }
    TimeOfDay Now() override;
    void StartTimer(ClockTimer timer, uint32_t interval) override;
    void StopTimer(ClockTimer timer) override;
    bool ShowProblem(const std::string& text) override;
    void TimeShownChanged(TimeOfDay shown) override;

  protected:
    // Runs `action` from a toolkit callback: an error that leaves it goes to the clock's
    // problems.
    void Guard(const std::function<void()>& action) { Guarded(controller_, action); }
    // Feeds the drag by a hand from the pointer's events on `widget`: a press of the
    // primary button (Pressed), the pointer's place as it moves (PointerAt; nothing while
    // the platform tells the travel otherwise), and the release, or a grab the system
    // breaks (Released).
    void HearPointer(GtkWidget* widget);
    virtual void Pressed(const GdkEventButton& event) = 0;
    virtual std::optional<Place> PointerAt(const GdkEventMotion& event) const = 0;
    virtual void Released() { controller_.HandReleased(); }

    ClockState& state_;
    ClockController controller_;

  private:
    PosixFiles files_; // the settings file's
    std::array<Source, kClockTimers> timers_;
    Widget problemBox_;
    time_t zoneLookedAt_ = 0; // the second in which the time zone was last looked at
};

} // namespace lumivane::gtk
