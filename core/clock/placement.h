#pragma once
// Where the clock window goes: its start place, the edge keeping, and when its
// place is worth saving. Portable: the front ends carry the moves out.
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/clock/clock_state.h"
#include "core/clock/monitors.h"

namespace lumivane {

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
