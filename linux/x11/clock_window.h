#pragma once
// The clock window of the Linux program on X11: a GTK window without decorations, kept
// above the others, on every workspace and off the taskbar and pager (through XWayland
// an override-redirect window drawn see-through, as the Wayland one is). It is the X11
// platform of the clock's life (ClockController): it reads what lies beneath it, shows
// the frame with a shape of its visible pixels (the hands' pixels take input, and a
// press there moves it through the window manager), runs the timers, follows the
// window in front and shows problems; the controller decides the rest.
#include <X11/Xlib.h>
#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/clock/clock_state.h"
#include "linux/desktop_clock.h"

namespace lumivane::x11 {

class BeneathReader;
class FrontWindowWatch;
class WindowSurface;

class ClockWindow : public gtk::DesktopClock {
  public:
    // Makes the window and starts the clock in it; `closed` runs when the window is
    // closed from outside (the window manager, xkill): the program ends.
    ClockWindow(ClockState& state, std::function<void()> closed);
    ~ClockWindow() override;
    ClockWindow(const ClockWindow&) = delete;
    ClockWindow& operator=(const ClockWindow&) = delete;

    GtkWindow* Window() const override { return GTK_WINDOW(window_.get()); }
    std::string Note() const override;

    // ClockPlatform
    PlatformTraits Traits() const override { return traits_; }
    std::vector<Rect> Monitors() override;
    void SizeWindow(int32_t side) override;
    void MoveWindow(Place to) override;
    void ShowWindow(bool shown) override;
    bool ReadBeneath(TDIB& background, Place at) override;
    void Present(const Frame& frame) override;
    std::optional<Rect> FrontWindow() override;

  private:
    static GdkFilterReturn FilterEvent(GdkXEvent* event, GdkEvent*, gpointer self);

    void Realize();
    void Pressed(const GdkEventButton& event) override;
    std::optional<Place> PointerAt(const GdkEventMotion& event) const override;
    // Once mapped, puts the window back where it was asked to go if the window manager
    // placed it elsewhere: i3 frames a window before it learns that the window has no
    // decorations, and the clock would move by them at every start.
    void KeepAskedPlace();

    std::function<void()> closed_;
    gtk::Widget window_; // goes last
    // Through XWayland nothing lies beneath an X window for the program to read (XWayland
    // is rootless): the window is override-redirect, at its place above the managed ones,
    // see-through, and the program moves it while a hand is dragged.
    bool xwayland_ = false;
    PlatformTraits traits_;
    ::Display* display_ = nullptr;
    std::unique_ptr<BeneathReader> reader_;
    std::unique_ptr<WindowSurface> surface_;
    std::unique_ptr<FrontWindowWatch> front_;
    std::optional<Place> askedPlace_; // where the window was last mapped
};

} // namespace lumivane::x11
