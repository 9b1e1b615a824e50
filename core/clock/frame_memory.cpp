#include "core/clock/frame_memory.h"

#include <algorithm>

namespace lumivane {

void TileMask::Reset(int32_t width, int32_t height) {
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    tilesX_ = (width_ + kSide - 1) / kSide;
    tilesY_ = (height_ + kSide - 1) / kSide;
    marks_.assign(static_cast<size_t>(tilesX_) * tilesY_, 0);
}

void TileMask::MarkRect(Rect rect) {
    const int32_t left = std::max(rect.left, 0);
    const int32_t top = std::max(rect.top, 0);
    const int32_t right = std::min(rect.right, width_);
    const int32_t bottom = std::min(rect.bottom, height_);
    if (left >= right || top >= bottom) {
        return;
    }
    for (int32_t tileY = top / kSide; tileY <= (bottom - 1) / kSide; ++tileY) {
        for (int32_t tileX = left / kSide; tileX <= (right - 1) / kSide; ++tileX) {
            MarkTile(tileX, tileY);
        }
    }
}

bool TileMask::AnyMarked() const {
    return std::find(marks_.begin(), marks_.end(), uint8_t{1}) != marks_.end();
}

void TileMask::Rectangles(std::vector<Rect>& rects) const {
    rects.clear();
    for (int32_t tileY = 0; tileY < tilesY_; ++tileY) {
        const int32_t top = tileY * kSide;
        const int32_t bottom = std::min(top + kSide, height_);
        for (int32_t tileX = 0; tileX < tilesX_;) {
            if (!TileMarked(tileX, tileY)) {
                ++tileX;
                continue;
            }
            const int32_t first = tileX;
            while (tileX < tilesX_ && TileMarked(tileX, tileY)) {
                ++tileX;
            }
            const Rect run{first * kSide, top, std::min(tileX * kSide, width_), bottom};
            const auto above = std::find_if(rects.begin(), rects.end(), [&](Rect r) {
                return r.left == run.left && r.right == run.right && r.bottom == top;
            });
            if (above != rects.end()) {
                above->bottom = bottom;
            } else {
                rects.push_back(run);
            }
        }
    }
}

} // namespace lumivane
