#pragma once
// Where the clock window goes: its start place, the edge keeping, and when its
// place is worth saving. Portable: the front ends carry the moves out.
#include <cstdint>

#include "clock_window/clock_state.h"

namespace lumivane {

struct Place {
    int32_t left = 0;
    int32_t top = 0;
    friend bool operator==(const Place&, const Place&) = default;
};

// A rectangle of the desktop, right and bottom exclusive.
struct Area {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

inline constexpr int32_t kEdgeMargin = 5; // pixels the clock keeps inside the display
inline constexpr int32_t kEdgeStep = 2;   // pixels it moves back per tick

// The saved place, unless no pixel of a clock there would show on `display`
// (another display's place, or nonsense): then just beyond the nearest edge, from
// where the edge keeping brings it in within seconds, where from the far ends of
// the coordinates it would take minutes.
Place StartPlace(const ClockState& state, Display display);

// One tick of edge keeping for a window `width` x `height` at `at`: the four edge
// rules in turn, each seeing where the one before left it, so that the window
// moves once. A clock too big to keep the margin on both sides would otherwise
// step out and back on every tick.
Place KeepInside(Place at, int32_t width, int32_t height, Area area);

// True when the window stands elsewhere than the saved place.
bool MovedFromSavedPlace(const ClockState& state, Place at);

} // namespace lumivane
