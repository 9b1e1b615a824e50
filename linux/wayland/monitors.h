#pragma once
// The outputs of a Wayland session as the clock sees them: GDK's monitors, their
// rectangles in physical pixels (the clock keeps its size in pixels on a scaled output,
// as on Windows), the one at the desktop's origin first.
#include <gdk/gdk.h>

#include <cstdint>
#include <vector>

#include "core/geometry.h"

struct wl_output;

namespace lumivane::wayland {

struct Output {
    GdkMonitor* monitor = nullptr;
    Rect rect;         // physical pixels: the logical origin times the scale
    int32_t scale = 1; // physical pixels per logical one
};

// Never empty: a session without outputs gives one empty rectangle.
std::vector<Output> Outputs(GdkDisplay* display);
std::vector<Rect> Rectangles(const std::vector<Output>& outputs);
// The output of that Wayland object, or none.
const Output* OutputOf(const std::vector<Output>& outputs, const wl_output* output);

} // namespace lumivane::wayland
