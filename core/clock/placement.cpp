#include "core/clock/placement.h"

namespace lumivane {

size_t StartMonitor(const ClockState& state, std::span<const Rect> monitors) {
    const int32_t height = DisplayOf(monitors.front()).height;
    const int32_t side = DiameterFor(state.Size, ScreenScaleFor(height), height);
    return OwningMonitor(monitors, {state.SavedLeft, state.SavedTop}, side, side).value();
}

Place StartPlace(const ClockState& state, std::span<const Rect> monitors, size_t home) {
    const Place saved{state.SavedLeft, state.SavedTop};
    const int32_t side = state.Diameter;
    if (ShowsOnMonitors(monitors, saved, side, side)) {
        return saved;
    }
    return PlaceInside(monitors[home], saved, side, side);
}

Place KeepInside(Place at, int32_t width, int32_t height, Rect area) {
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
