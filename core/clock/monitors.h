#pragma once
// The arithmetic of several monitors, over rectangles of the virtual screen (the
// primary monitor's top-left corner is (0, 0); others may lie left of or above it):
// which monitor a window belongs to, where a window that shows on none goes, whether
// a window covers a monitor, and lengths scaled to a monitor's DPI. Portable: the
// clock window asks the system for the rectangles and carries out what these decide.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "core/geometry.h"

namespace lumivane {

inline constexpr int32_t kEdgeMargin = 5; // pixels the clock keeps inside its monitor

// The dots per inch at which lengths are given (100 % scaling).
inline constexpr int32_t kDefaultDpi = 96;

// A monitor's size, which sets the clock's ScreenScale and Diameter cap.
Display DisplayOf(const Rect& monitor);

// The monitor a window `width` x `height` at `at` belongs to: the first that holds
// the window's centre, else the one nearest to it. Nothing when there is no monitor.
std::optional<size_t> OwningMonitor(std::span<const Rect> monitors, Place at, int32_t width,
                                    int32_t height);

// Whether any pixel of the window lies on one of the monitors.
bool ShowsOnMonitors(std::span<const Rect> monitors, Place at, int32_t width, int32_t height);

// The place nearest to `at` inside `monitor` that the edge keeping leaves alone: 5
// pixels in from its edges, or from its top and left ones for a window larger than it.
Place PlaceInside(const Rect& monitor, Place at, int32_t width, int32_t height);

// Where a window goes when the monitors have changed: at once to the nearest place
// inside the monitor it now belongs to (the nearest one when its own is gone).
// `monitors` is not empty.
Place KeepOnMonitors(std::span<const Rect> monitors, Place at, int32_t width, int32_t height);

// Whether a window covers the whole of a monitor (as a full-screen program's does).
bool CoversMonitor(const Rect& window, const Rect& monitor);

// Whether the clock hides over a full-screen program: it is asked to (`hideFullScreen`
// not 0) and `front`, the outer rectangle of the program window in front (nothing when
// none is, or it is minimized, the desktop's or the clock's own), covers `monitor`, the
// clock's.
bool HidesOverFullScreen(int32_t hideFullScreen, const std::optional<Rect>& front,
                         const Rect& monitor);

// `length`, given at 96 DPI, at `dpi`: halves away from zero, as the system rounds.
// A DPI that is not positive leaves it as it is.
int32_t ScaleToDpi(int32_t length, int32_t dpi);

} // namespace lumivane
