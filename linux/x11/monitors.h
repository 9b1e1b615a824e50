#pragma once
// The monitors of the X display, as the rules of core/clock/placement.h take them.
#include <gdk/gdk.h>

#include <vector>

#include "core/clock/placement.h"

namespace lumivane::x11 {

// Every monitor of `display`, the primary first; a primary of no size when it reports
// none. GDK learns the monitors from RandR; a server without RandR that joins several
// screens with Xinerama looks to GDK like one monitor as large as all of them, so
// there Xinerama's own list is taken, its first screen the primary.
std::vector<Rect> Monitors(GdkDisplay* display);

// Whether the X server is XWayland, inside a Wayland session: it has an extension of that
// name since version 23, and before names its RandR outputs so.
bool IsXWayland(GdkDisplay* display);

} // namespace lumivane::x11
