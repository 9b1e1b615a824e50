#pragma once
// The clock window of the Linux program: a GTK window on X11 without decorations, kept
// above the others, on every workspace and off the taskbar and pager. Every tick it
// reads what lies beneath it, renders a frame and shows it; its shape follows the
// frame's visible pixels, a press on a hand moves it through the window manager, it
// keeps inside its monitor and its place is stored a few seconds after it moved. While a
// program's window in front covers its monitor it hides, reading and drawing nothing.
#include <X11/Xlib.h>
#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "clock_window/clock_state.h"
#include "clock_window/placement.h"
#include "linux/x_handles.h"

namespace lumivane {

class FrontWindowWatch;
class Problems;
class ScreenReader;
class WindowSurface;

class ClockWindow {
  public:
    struct Hooks {
        // Stores the clock's place (the settings file's "Left" and "Top").
        std::function<void(Place)> storePlace;
        // The window was closed from outside (the window manager, xkill): the program ends.
        std::function<void()> closed;
    };

    // `state` is loaded and derived (DeriveStartupState); the window opens at
    // `place`, sized Diameter x Diameter.
    ClockWindow(ClockState& state, Problems& problems, Place place, Hooks hooks);
    ~ClockWindow();
    ClockWindow(const ClockWindow&) = delete;
    ClockWindow& operator=(const ClockWindow&) = delete;

    // The clock tick: the time of day, then a frame.
    void Tick();
    void Draw();
    // Stores the place when the window is not where it was stored.
    void StorePlaceIfMoved();
    // Hides the clock while a program's window in front covers its monitor and
    // HideFullScreen is on; shows it again when that ends.
    void CheckFullScreen();

    GtkWindow* Window() const { return GTK_WINDOW(window_); }
    Place Where() const { return place_; }
    // The monitor the clock belongs to (the one that holds its centre, else the nearest).
    Area Monitor() const;
    // Whether the screen beneath is read without hiding the clock.
    bool SeesBeneath() const;

  private:
    static GdkFilterReturn FilterEvent(GdkXEvent* event, GdkEvent*, gpointer self);
    static gboolean Configured(GtkWidget*, GdkEventConfigure* event, gpointer self);
    static void ScreenChanged(GdkScreen*, gpointer self);
    static gboolean Pressed(GtkWidget*, GdkEventButton* event, gpointer self);
    static gboolean Drawn(GtkWidget*, cairo_t* cairo, gpointer self);
    static gboolean Deleted(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean Mapped(GtkWidget*, GdkEvent*, gpointer self);

    void Realize();
    void SetTickInterval(int32_t interval);
    void Resize();
    // Every 30 ms while the window is away from its stored place (being dragged, or
    // kept inside its monitor): keeps it inside, and redraws it at the rate of the
    // pointer rather than the tick. At rest it stops.
    void KeepInsideMonitor();
    // The monitors changed: at once inside the one the clock then belongs to.
    void MonitorsChanged();
    // Moves the window and draws the frame of its new place.
    void MoveTo(Place to);
    void WatchPlace();
    void ReadBeneath();
    // Maps the window at its place, above the others on every workspace.
    void Show();
    // Once mapped, puts the window back where it was asked to go if the window manager
    // placed it elsewhere: i3 frames a window before it learns that the window has no
    // decorations, and the clock would move by them at every start.
    void KeepAskedPlace();

    ClockState& state_;
    Problems& problems_;
    Hooks hooks_;
    GtkWidget* window_ = nullptr;
    ::Display* display_ = nullptr;
    Place place_;
    std::vector<Area> monitors_;
    std::unique_ptr<ScreenReader> reader_;
    std::unique_ptr<WindowSurface> surface_;
    std::unique_ptr<FrontWindowWatch> front_;
    bool hiddenOverFullScreen_ = false;
    std::optional<Place> askedPlace_; // where the window was last mapped
    std::vector<uint8_t> grab_;
    int32_t tickInterval_ = 0;
    x11::Source tick_;
    x11::Source keepInside_;
    x11::Source storePlace_;
};

} // namespace lumivane
