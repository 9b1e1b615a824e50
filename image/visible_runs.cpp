#include "image/visible_runs.h"

namespace lumivane {

void VisibleRuns(TDIB& frame, const std::vector<uint8_t>* mask, std::vector<PixelRun>& runs) {
    runs.clear();
    if (frame.Empty() || frame.BitCount() != 24) {
        return;
    }
    const int32_t width = frame.Width();
    const int32_t height = frame.Height();
    if (mask != nullptr && mask->size() != static_cast<size_t>(width) * height) {
        return;
    }
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* pixel = frame.ScanLine(y);
        const uint8_t* marks = mask ? mask->data() + static_cast<size_t>(y) * width : nullptr;
        int32_t start = -1;
        for (int32_t x = 0; x <= width; ++x, pixel += 3) {
            const bool shown = x < width && (pixel[0] | pixel[1] | pixel[2]) != 0 &&
                               (marks == nullptr || marks[x] != 0);
            if (shown && start < 0) {
                start = x;
            } else if (!shown && start >= 0) {
                runs.push_back({y, start, x - start});
                start = -1;
            }
        }
    }
}

} // namespace lumivane
