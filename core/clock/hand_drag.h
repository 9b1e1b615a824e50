#pragma once
// The drag by a hand: a press on one of the hands' pixels takes the clock, which then
// follows the pointer's travel until the button is let go. Fed by each front end's
// pointer events; the clock's life carries the moves out.
#include <optional>

#include "core/clock/clock_state.h"
#include "core/geometry.h"

namespace lumivane {

class HandDrag {
  public:
    // A press at `pixel` of the clock drawn from `state`, standing at `clock`, the pointer
    // at `pointer` (in whatever coordinates Follow is given): whether it takes a hand.
    bool Press(const ClockState& state, Place pixel, Place clock, Place pointer);
    // Where the clock goes with the pointer at `pointer`: where it stood at the press,
    // moved by the pointer's travel since. Nothing while no hand is held.
    std::optional<Place> Follow(Place pointer) const;
    // Let go; whether a hand was held.
    bool Release();
    bool Held() const { return held_.has_value(); }

  private:
    struct Grip {
        Place clock;
        Place pointer;
    };
    std::optional<Grip> held_;
};

} // namespace lumivane
