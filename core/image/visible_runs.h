#pragma once
// The visible part of a frame as horizontal runs: black pixels are see-through, so a
// platform whose windows take their shape as rectangles is told where the others are.
#include <cstdint>
#include <vector>

#include "core/geometry.h"
#include "core/image/tdib.h"

namespace lumivane {

struct PixelRun {
    int32_t y = 0;
    int32_t x = 0;
    int32_t width = 0;
    friend bool operator==(const PixelRun&, const PixelRun&) = default;
};

// The runs of pixels of `frame` (24-bit) that are not black and, when `mask` is given
// (one byte per pixel, rows top to bottom, the frame's size), marked in it; rows top
// to bottom, each left to right; within `part` of the frame when one is given.
void VisibleRuns(TDIB& frame, const std::vector<uint8_t>* mask, std::vector<PixelRun>& runs,
                 const Rect* part = nullptr);

} // namespace lumivane
