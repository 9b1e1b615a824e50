#include "core/image/visible_runs.h"

#include <algorithm>

namespace lumivane {

void VisibleRuns(TDIB& frame, const std::vector<uint8_t>* mask, std::vector<PixelRun>& runs,
                 const Rect* part) {
    runs.clear();
    if (frame.Empty() || frame.BitCount() != 24) {
        return;
    }
    const int32_t width = frame.Width();
    const int32_t height = frame.Height();
    if (mask != nullptr && mask->size() != static_cast<size_t>(width) * height) {
        return;
    }
    const Rect whole{0, 0, width, height};
    const Rect within = part == nullptr
                            ? whole
                            : Rect{std::max(part->left, 0), std::max(part->top, 0),
                                   std::min(part->right, width), std::min(part->bottom, height)};
    const auto shownAt = [](const uint8_t* pixel) { return (pixel[0] | pixel[1] | pixel[2]) != 0; };
    for (int32_t y = within.top; y < within.bottom; ++y) {
        const uint8_t* row = frame.Row(y);
        const uint8_t* marks = mask ? mask->data() + static_cast<size_t>(y) * width : nullptr;
        // The mask first where there is one: it is sparse and one byte to a pixel.
        const auto shown = [&](int32_t x) {
            return marks != nullptr ? marks[x] != 0 && shownAt(row + 3 * x) : shownAt(row + 3 * x);
        };
        for (int32_t x = within.left; x < within.right;) {
            while (x < within.right && !shown(x)) {
                ++x;
            }
            const int32_t start = x;
            while (x < within.right && shown(x)) {
                ++x;
            }
            if (x > start) {
                runs.push_back({y, start, x - start});
            }
        }
    }
}

} // namespace lumivane
