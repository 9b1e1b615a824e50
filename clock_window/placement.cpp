#include "clock_window/placement.h"

#include <algorithm>

namespace lumivane {

Place StartPlace(const ClockState& state, Display display) {
    const int32_t side = std::max(state.Diameter, 0);
    return {std::clamp(state.SavedLeft, -side, std::max(display.width, -side)),
            std::clamp(state.SavedTop, -side, std::max(display.height, -side))};
}

Place KeepInside(Place at, int32_t width, int32_t height, Area area) {
    if (at.left > area.right - width - kEdgeMargin) {
        at.left -= kEdgeStep;
    }
    if (at.left < area.left + kEdgeMargin) {
        at.left += kEdgeStep;
    }
    if (at.top > area.bottom - height - kEdgeMargin) {
        at.top -= kEdgeStep;
    }
    if (at.top < area.top + kEdgeMargin) {
        at.top += kEdgeStep;
    }
    return at;
}

bool MovedFromSavedPlace(const ClockState& state, Place at) {
    return at.left != state.SavedLeft || at.top != state.SavedTop;
}

} // namespace lumivane
