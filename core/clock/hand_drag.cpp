#include "core/clock/hand_drag.h"

#include "core/clock/hand_hit.h"

namespace lumivane {

bool HandDrag::Press(const ClockState& state, Place pixel, Place clock, Place pointer) {
    if (!FindHandSample(state, pixel.left, pixel.top)) {
        return false;
    }
    held_ = Grip{clock, pointer};
    return true;
}

std::optional<Place> HandDrag::Follow(Place pointer) const {
    if (!held_) {
        return std::nullopt;
    }
    return Place{held_->clock.left + pointer.left - held_->pointer.left,
                 held_->clock.top + pointer.top - held_->pointer.top};
}

bool HandDrag::Release() {
    const bool held = held_.has_value();
    held_.reset();
    return held;
}

} // namespace lumivane
