#pragma once
// The clock window of the Linux program on X11: a GTK window without decorations, kept
// above the others, on every workspace and off the taskbar and pager. It is the X11
// platform of the clock's life (ClockController): it reads what lies beneath it, shows
// the frame with a shape of its visible pixels (the hands' pixels take input, and a
// press there moves it through the window manager), runs the timers, follows the
// window in front and shows problems; the controller decides the rest.
#include <X11/Xlib.h>
#include <gtk/gtk.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/clock/clock_state.h"
#include "core/controller/clock_controller.h"
#include "linux/problems.h"
#include "linux/settings_file.h"

namespace lumivane {

class FrontWindowWatch;
class ScreenReader;
class WindowSurface;

class ClockWindow : public ClockPlatform {
  public:
    // Makes the window and starts the clock in it; `closed` runs when the window is
    // closed from outside (the window manager, xkill): the program ends.
    ClockWindow(ClockState& state, std::function<void()> closed);
    ~ClockWindow() override;
    ClockWindow(const ClockWindow&) = delete;
    ClockWindow& operator=(const ClockWindow&) = delete;

    ClockController& Controller() { return controller_; }
    GtkWindow* Window() const { return GTK_WINDOW(window_.get()); }
    // Whether the screen beneath is read without hiding the clock.
    bool SeesBeneath() const;

    // ClockPlatform
    PlatformTraits Traits() const override;
    std::vector<Rect> Monitors() override;
    std::unique_ptr<SettingsStore> Store() override;
    std::unique_ptr<TDIB> MakeBuffer() override { return std::make_unique<TDIB>(); }
    TimeOfDay Now() override;
    void SizeWindow(int32_t side) override;
    void MoveWindow(Place to) override;
    void ShowWindow(bool shown) override;
    bool ReadBeneath(TDIB& background, Place at) override;
    void Present(std::span<const Rect> parts) override;
    void StartTimer(ClockTimer timer, uint32_t interval) override;
    void StopTimer(ClockTimer timer) override;
    std::optional<Rect> FrontWindow() override;
    bool ShowProblem(const std::string& text) override;
    void TimeShownChanged(TimeOfDay shown) override;

  private:
    static GdkFilterReturn FilterEvent(GdkXEvent* event, GdkEvent*, gpointer self);

    void Realize();
    // Once mapped, puts the window back where it was asked to go if the window manager
    // placed it elsewhere: i3 frames a window before it learns that the window has no
    // decorations, and the clock would move by them at every start.
    void KeepAskedPlace();

    ClockState& state_;
    PosixFiles files_; // the settings file's
    ClockController controller_;
    std::function<void()> closed_;
    Widget window_; // goes last
    ::Display* display_ = nullptr;
    std::unique_ptr<ScreenReader> reader_;
    std::unique_ptr<WindowSurface> surface_;
    std::unique_ptr<FrontWindowWatch> front_;
    std::optional<Place> askedPlace_; // where the window was last mapped
    std::vector<uint8_t> grab_;
    std::array<Source, kClockTimers> timers_;
    Widget problemBox_;
};

} // namespace lumivane
