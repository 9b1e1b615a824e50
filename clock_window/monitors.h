#pragma once
// The arithmetic of several monitors, over plain rectangles of the virtual screen (the
// primary monitor's top-left corner is (0, 0); others may lie left of or above it):
// which monitor a window belongs to, where a stored place starts, whether a window
// covers a monitor, and lengths scaled to a monitor's DPI. Portable: the clock window
// asks the system for the rectangles and carries out what these decide.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "clock_window/clock_state.h"

namespace lumivane {

// A rectangle of the virtual screen; right and bottom are exclusive. In 64 bits, so
// that a window at a stored place near the end of the 32-bit coordinates keeps its size.
struct ScreenRect {
    int64_t left = 0;
    int64_t top = 0;
    int64_t right = 0;
    int64_t bottom = 0;
    friend bool operator==(const ScreenRect&, const ScreenRect&) = default;
};

struct ScreenPoint {
    int32_t x = 0;
    int32_t y = 0;
    friend bool operator==(const ScreenPoint&, const ScreenPoint&) = default;
};

// Pixels the clock keeps between itself and its monitor's edges.
inline constexpr int32_t kEdgeMargin = 5;

// The dots per inch at which lengths are given (100 % scaling).
inline constexpr int32_t kDefaultDpi = 96;

// The square window of side `side` (none when it is not positive) at (left, top).
ScreenRect SquareAt(int32_t left, int32_t top, int32_t side);

// A monitor's size, which sets the clock's ScreenScale and Diameter cap.
Display DisplayOf(const ScreenRect& monitor);

// The monitor a window belongs to: the first that holds the window's centre, else the
// one nearest to it. Nothing when there is no monitor.
std::optional<size_t> OwningMonitor(std::span<const ScreenRect> monitors, const ScreenRect& window);

// Where a window goes when the monitors are first seen or have changed: it stays where
// it is while any of it lies on a monitor (the edge keeping then brings it inside its
// own); one that shows nowhere comes at once to the nearest place inside the monitor
// it belongs to, where the edge keeping leaves it (its top-left corner, for a window
// larger than the monitor). `monitors` is not empty.
ScreenPoint KeepOnMonitors(std::span<const ScreenRect> monitors, const ScreenRect& window);

struct StartPlacement {
    size_t monitor = 0;  // whose size sets ScreenScale and the Diameter cap
    ScreenPoint place{}; // the window's top-left corner
};

// Where a clock of `size` stored at (left, top) starts, and on which monitor: the one
// that owns the stored place with the clock as large as the primary display makes it
// (the clock's own size depends on the monitor). `monitors` lists the primary first and
// is not empty.
StartPlacement PlaceAtStart(std::span<const ScreenRect> monitors, int32_t left, int32_t top,
                            int32_t size);

// Whether a window covers the whole of a monitor (as a full-screen program's does).
bool CoversMonitor(const ScreenRect& window, const ScreenRect& monitor);

// `length` at `dpi` for a length given at 96 DPI, halves away from zero as the system
// rounds; a DPI that is not positive leaves it as it is.
int32_t ScaleToDpi(int32_t length, int32_t dpi);

} // namespace lumivane
