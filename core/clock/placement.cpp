#include "core/clock/placement.h"

#include <algorithm>
#include <limits>

namespace lumivane {

namespace {

int32_t Saturated(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// A window's edges in 64 bits: a place near the end of the coordinates keeps its size.
struct Edges {
    int64_t left;
    int64_t top;
    int64_t right;
    int64_t bottom;
};

Edges EdgesOf(Place at, int32_t width, int32_t height) {
    return {at.left, at.top, int64_t{at.left} + std::max(width, 0),
            int64_t{at.top} + std::max(height, 0)};
}

// Twice the centre's coordinates, so that a centre between two pixels stays exact.
struct DoubledCentre {
    int64_t x;
    int64_t y;
};

DoubledCentre CentreOf(const Edges& window) {
    return {window.left + window.right, window.top + window.bottom};
}

bool Holds(const Rect& monitor, DoubledCentre centre) {
    return 2 * int64_t{monitor.left} <= centre.x && centre.x < 2 * int64_t{monitor.right} &&
           2 * int64_t{monitor.top} <= centre.y && centre.y < 2 * int64_t{monitor.bottom};
}

// How far the centre lies from the monitor, squared (in doubled units); in floating
// point, since far-off places square beyond 64 bits.
double SquaredDistance(const Rect& monitor, DoubledCentre centre) {
    const auto gap = [](int64_t from, int64_t to, int64_t at) {
        return static_cast<double>(std::max<int64_t>({2 * from - at, at - 2 * to, 0}));
    };
    const double dx = gap(monitor.left, monitor.right, centre.x);
    const double dy = gap(monitor.top, monitor.bottom, centre.y);
    return dx * dx + dy * dy;
}

// The resting place of the edge keeping nearest to `at`, along one axis: the near
// margin wins when the window is too large to keep both.
int32_t Inside(int64_t low, int64_t high, int64_t at, int64_t length) {
    return Saturated(std::max(low + kEdgeMargin, std::min(at, high - length - kEdgeMargin)));
}

} // namespace

Display DisplayOf(const Rect& monitor) {
    return {Saturated(int64_t{monitor.right} - monitor.left),
            Saturated(int64_t{monitor.bottom} - monitor.top)};
}

std::optional<size_t> OwningMonitor(std::span<const Rect> monitors, Place at, int32_t width,
                                    int32_t height) {
    if (monitors.empty()) {
        return std::nullopt;
    }
    const DoubledCentre centre = CentreOf(EdgesOf(at, width, height));
    for (size_t i = 0; i < monitors.size(); ++i) {
        if (Holds(monitors[i], centre)) {
            return i;
        }
    }
    size_t nearest = 0;
    for (size_t i = 1; i < monitors.size(); ++i) {
        if (SquaredDistance(monitors[i], centre) < SquaredDistance(monitors[nearest], centre)) {
            nearest = i;
        }
    }
    return nearest;
}

bool ShowsOnMonitors(std::span<const Rect> monitors, Place at, int32_t width, int32_t height) {
    const Edges window = EdgesOf(at, width, height);
    return std::any_of(monitors.begin(), monitors.end(), [&window](const Rect& monitor) {
        return window.left < monitor.right && monitor.left < window.right &&
               window.top < monitor.bottom && monitor.top < window.bottom;
    });
}

Place PlaceInside(const Rect& monitor, Place at, int32_t width, int32_t height) {
    return {Inside(monitor.left, monitor.right, at.left, std::max(width, 0)),
            Inside(monitor.top, monitor.bottom, at.top, std::max(height, 0))};
}

Place KeepOnMonitors(std::span<const Rect> monitors, Place at, int32_t width, int32_t height) {
    return PlaceInside(monitors[OwningMonitor(monitors, at, width, height).value()], at, width,
                       height);
}

bool CoversMonitor(const Rect& window, const Rect& monitor) {
    return window.left <= monitor.left && window.top <= monitor.top &&
           window.right >= monitor.right && window.bottom >= monitor.bottom;
}

bool HidesOverFullScreen(int32_t hideFullScreen, const std::optional<Rect>& front,
                         const Rect& monitor) {
    return hideFullScreen != 0 && front && CoversMonitor(*front, monitor);
}

int32_t ScaleToDpi(int32_t length, int32_t dpi) {
    if (dpi <= 0) {
        return length;
    }
    const int64_t product = int64_t{length} * dpi;
    const int64_t half = product >= 0 ? kDefaultDpi / 2 : -(kDefaultDpi / 2);
    return Saturated((product + half) / kDefaultDpi);
}

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
