#include "clock_window/monitors.h"

#include <algorithm>
#include <limits>

namespace lumivane {

namespace {

int32_t Saturated(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// Twice the centre's coordinates, so that a centre between two pixels stays exact.
struct DoubledCentre {
    int64_t x;
    int64_t y;
};

DoubledCentre CentreOf(const ScreenRect& window) {
    return {window.left + window.right, window.top + window.bottom};
}

bool Holds(const ScreenRect& monitor, DoubledCentre centre) {
    return 2 * monitor.left <= centre.x && centre.x < 2 * monitor.right &&
           2 * monitor.top <= centre.y && centre.y < 2 * monitor.bottom;
}

// How far the centre lies from the monitor, squared (in doubled units); in floating
// point, since far-off places square beyond 64 bits.
double SquaredDistance(const ScreenRect& monitor, DoubledCentre centre) {
    const auto gap = [](int64_t from, int64_t to, int64_t at) {
        return static_cast<double>(std::max<int64_t>({from - at, at - to, 0}));
    };
    const double dx = gap(2 * monitor.left, 2 * monitor.right, centre.x);
    const double dy = gap(2 * monitor.top, 2 * monitor.bottom, centre.y);
    return dx * dx + dy * dy;
}

bool Overlaps(const ScreenRect& a, const ScreenRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// The resting place of the edge keeping nearest to `at`, along one axis: the near
// margin wins when the window is too large to keep both.
int32_t Inside(int64_t low, int64_t high, int64_t at, int64_t length) {
    return Saturated(std::max(low + kEdgeMargin, std::min(at, high - length - kEdgeMargin)));
}

bool ShowsOnAny(std::span<const ScreenRect> monitors, const ScreenRect& window) {
    return std::any_of(monitors.begin(), monitors.end(),
                       [&window](const ScreenRect& monitor) { return Overlaps(window, monitor); });
}

ScreenPoint PlaceInside(const ScreenRect& window, const ScreenRect& monitor) {
    return {Inside(monitor.left, monitor.right, window.left, window.right - window.left),
            Inside(monitor.top, monitor.bottom, window.top, window.bottom - window.top)};
}

} // namespace

ScreenRect SquareAt(int32_t left, int32_t top, int32_t side) {
    const int64_t length = std::max(side, 0);
    return {left, top, left + length, top + length};
}

Display DisplayOf(const ScreenRect& monitor) {
    return {Saturated(monitor.right - monitor.left), Saturated(monitor.bottom - monitor.top)};
}

std::optional<size_t> OwningMonitor(std::span<const ScreenRect> monitors,
                                    const ScreenRect& window) {
    if (monitors.empty()) {
        return std::nullopt;
    }
    const DoubledCentre centre = CentreOf(window);
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

ScreenPoint KeepOnMonitors(std::span<const ScreenRect> monitors, const ScreenRect& window) {
    if (ShowsOnAny(monitors, window)) {
        return {Saturated(window.left), Saturated(window.top)};
    }
    return PlaceInside(window, monitors[OwningMonitor(monitors, window).value()]);
}

StartPlacement PlaceAtStart(std::span<const ScreenRect> monitors, int32_t left, int32_t top,
                            int32_t size) {
    const auto side = [size](const ScreenRect& monitor) {
        const int32_t height = DisplayOf(monitor).height;
        return DiameterFor(size, ScreenScaleFor(height), height);
    };
    StartPlacement start;
    start.monitor = OwningMonitor(monitors, SquareAt(left, top, side(monitors.front()))).value();
    const ScreenRect& monitor = monitors[start.monitor];
    const ScreenRect window = SquareAt(left, top, side(monitor));
    start.place =
        ShowsOnAny(monitors, window) ? ScreenPoint{left, top} : PlaceInside(window, monitor);
    return start;
}

bool CoversMonitor(const ScreenRect& window, const ScreenRect& monitor) {
    return window.left <= monitor.left && window.top <= monitor.top &&
           window.right >= monitor.right && window.bottom >= monitor.bottom;
}

int32_t ScaleToDpi(int32_t length, int32_t dpi) {
    if (dpi <= 0) {
        return length;
    }
    const int64_t product = int64_t{length} * dpi;
    const int64_t half = product >= 0 ? kDefaultDpi / 2 : -(kDefaultDpi / 2);
    return Saturated((product + half) / kDefaultDpi);
}

} // namespace lumivane
