#pragma once
// Where the clock goes, over the rectangles of the monitors (the primary monitor's
// top-left corner is (0, 0); others may lie left of or above it): which monitor a window
// belongs to, where a window that shows on none goes, whether a window covers a
// monitor, lengths scaled to a monitor's DPI, the clock's start place, the edge keeping
// and when its place is worth saving. Portable: the front ends carry the moves out.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "core/clock/clock_state.h"
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

inline constexpr int32_t kEdgeStep = 2; // pixels the clock moves back per tick

// The monitor the clock starts on, whose size sets its ScreenScale and Diameter cap:
// the one that owns the saved place with the clock as large as the first monitor
// makes it (its own size depends on the monitor). `monitors` lists the primary first
// and is not empty.
size_t StartMonitor(const ClockState& state, std::span<const Rect> monitors);

// The saved place, unless no pixel of the clock (Diameter) there would show on any
// monitor (an unplugged or rearranged monitor's place, or nonsense): then at once the
// nearest place inside monitors[home].
Place StartPlace(const ClockState& state, std::span<const Rect> monitors, size_t home);

// One tick of edge keeping for a window `width` x `height` at `at`: the four edge
// rules in turn, each seeing where the one before left it, so that the window
// moves once. A clock too big to keep the margin on both sides would otherwise
// step out and back on every tick.
Place KeepInside(Place at, int32_t width, int32_t height, Rect area);

// True when the window stands elsewhere than the saved place.
bool MovedFromSavedPlace(const ClockState& state, Place at);

} // namespace lumivane
