#pragma once
// The program window in front of the others: the one the window manager names active
// (_NET_ACTIVE_WINDOW on the root), or, where no EWMH window manager runs, the one with
// the keyboard focus. Its owner hears when that may have changed: at once from the X
// events of the root and of the active window under a window manager, and of every
// top-level's focus without one.
#include <X11/Xlib.h>
#include <gdk/gdk.h>

#include <functional>
#include <optional>

#include "core/geometry.h"
#include "linux/main_loop.h"

namespace lumivane {
class ClockController;
} // namespace lumivane

namespace lumivane::x11 {

class FrontWindowWatch {
  public:
    FrontWindowWatch(GdkDisplay* display, ClockController& controller,
                     std::function<void()> changed);
    ~FrontWindowWatch();
    FrontWindowWatch(const FrontWindowWatch&) = delete;
    FrontWindowWatch& operator=(const FrontWindowWatch&) = delete;

    // The outer rectangle of the program window in front, and from now on watches it;
    // nothing when no window is in front, or it is minimized, the desktop's, or one of
    // this program's own.
    std::optional<Rect> Read();
    // Every X event the program receives.
    void NoteEvent(const XEvent& event);

  private:
    // Whether `window` or a window holding it is one of this program's.
    bool Ours(Window window) const;
    bool HasAtom(Window window, Atom property, Atom value) const;
    void Follow(Window client);
    // Selects the focus's changes on a top-level of another program.
    void HearFocus(Window window);
    void Changed();

    GdkDisplay* gdkDisplay_;
    ::Display* display_;
    ClockController& controller_;
    std::function<void()> changed_;
    Window root_;
    Atom active_;
    Atom state_;
    Atom hidden_;
    Atom type_;
    Atom desktop_;
    Window followed_ = 0;   // the active window, whose state changes we hear of
    long followedMask_ = 0; // what this program heard of it before
    Window topLevel_ = 0;   // the front window's top-level, whose moves we hear of
    gtk::Source pending_;   // a look soon, for a burst of events
    bool lookPending_ = false;
};

} // namespace lumivane::x11
