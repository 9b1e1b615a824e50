#pragma once
// Questions about X windows that may be another program's, and may go at any moment.
#include <X11/Xlib.h>
#include <gdk/gdkx.h>

namespace lumivane::x11 {

// Runs X requests that may fail because another program's window has just gone;
// reports whether they all succeeded.
template <class Requests> bool Trapped(GdkDisplay* display, Requests requests) {
    gdk_x11_display_error_trap_push(display);
    requests();
    return gdk_x11_display_error_trap_pop(display) == 0;
}

// The child of the root that holds `window` (the window manager's frame, or the
// window itself); `window` when the tree cannot be read.
Window TopLevelOf(::Display* display, Window window);

} // namespace lumivane::x11
