#include "linux/wayland/monitors.h"

#include <gdk/gdkwayland.h>

#include <algorithm>

namespace lumivane::wayland {

std::vector<Output> Outputs(GdkDisplay* display) {
    std::vector<Output> outputs;
    const int count = gdk_display_get_n_monitors(display);
    for (int i = 0; i < count; ++i) {
        GdkMonitor* monitor = gdk_display_get_monitor(display, i);
        GdkRectangle r{0, 0, 0, 0};
        gdk_monitor_get_geometry(monitor, &r);
        const int32_t scale = std::max(gdk_monitor_get_scale_factor(monitor), 1);
        const Output output{
            monitor,
            {r.x * scale, r.y * scale, (r.x + r.width) * scale, (r.y + r.height) * scale},
            scale};
        // Wayland names no primary output; the one at the origin takes its part.
        const bool origin = r.x <= 0 && r.y <= 0 && r.x + r.width > 0 && r.y + r.height > 0;
        outputs.insert(origin ? outputs.begin() : outputs.end(), output);
    }
    if (outputs.empty()) {
        outputs.push_back({});
    }
    return outputs;
}

std::vector<Rect> Rectangles(const std::vector<Output>& outputs) {
    std::vector<Rect> rects;
    for (const Output& output : outputs) {
        rects.push_back(output.rect);
    }
    return rects;
}

const Output* OutputOf(const std::vector<Output>& outputs, const wl_output* output) {
    for (const Output& candidate : outputs) {
        if (candidate.monitor != nullptr &&
            gdk_wayland_monitor_get_wl_output(candidate.monitor) == output) {
            return &candidate;
        }
    }
    return nullptr;
}

} // namespace lumivane::wayland
