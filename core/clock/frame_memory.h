#pragma once
// What the last frame was drawn from, kept so that the next frame redraws only what can
// have changed (RenderChangedFrame in core/render/render.h). Portable: no platform header.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/geometry.h"

namespace lumivane {

// Marks on the tiles of a frame, squares of kSide pixels from its top-left corner.
class TileMask {
  public:
    static constexpr int32_t kSide = 32;

    // Every tile of a frame of this size unmarked.
    void Reset(int32_t width, int32_t height);
    void MarkRect(Rect rect);
    void MarkTile(int32_t tileX, int32_t tileY) { marks_[TileIndex(tileX, tileY)] = 1; }
    void MarkTile(size_t index) { marks_[index] = 1; }
    // (x, y) must lie in the frame.
    bool Covers(int32_t x, int32_t y) const { return TileMarked(x / kSide, y / kSide); }
    bool TileMarked(int32_t tileX, int32_t tileY) const {
        return marks_[TileIndex(tileX, tileY)] != 0;
    }
    // Tiles are numbered row by row from 0 to Tiles() - 1.
    size_t TileIndex(int32_t tileX, int32_t tileY) const {
        return static_cast<size_t>(tileY) * static_cast<size_t>(tilesX_) +
               static_cast<size_t>(tileX);
    }
    size_t TileOf(int32_t x, int32_t y) const { return TileIndex(x / kSide, y / kSide); }
    size_t Tiles() const { return marks_.size(); }
    bool AnyMarked() const;
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    // The marked tiles as rectangles clipped to the frame: runs of tiles along each row
    // of tiles, a run joined to the one above when it spans the same columns.
    void Rectangles(std::vector<Rect>& rects) const;

  private:
    std::vector<uint8_t> marks_; // [tileY][tileX]: 1 marked
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t tilesX_ = 0;
    int32_t tilesY_ = 0;
};

// What a whole frame depends on besides the background under the dial and the hands'
// time: when any of it changes, the next frame is drawn whole.
struct FrameBasis {
    const void* frame = nullptr; // the frame's pixels, as placed in memory
    const void* background = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t backgroundWidth = 0;
    int32_t backgroundHeight = 0;
    int32_t diameter = 0;
    int32_t radius = 0;
    int32_t thickness = 0;
    int32_t algoritm = 0;
    std::array<int32_t, 3> handLengths{};
    long double bright = 0;
    uint64_t domeFactors = 0; // ClockState::DomeFactorGeneration
    std::string label;
    friend bool operator==(const FrameBasis&, const FrameBasis&) = default;
};

struct FrameMemory {
    bool valid = false; // a frame was drawn by RenderChangedFrame from `basis`
    FrameBasis basis;
    // The background's pixels under the dial at the last frame, rows of 3 x width bytes.
    std::vector<uint8_t> background;
    // Per tile, bit h (0 to 2): hand h lit a pixel there at the last frame; bit 3 + h:
    // one of them off the dome; kBeadsOffDome: a bead lights a pixel off the dome. Off
    // the dome nothing resets a pixel, so the full frame lights it again every time.
    std::vector<uint8_t> cover;
    static constexpr uint8_t kHandOffDome = 1 << 3;
    static constexpr uint8_t kBeadsOffDome = 1 << 6;
    static constexpr uint8_t kOffDome =
        kHandOffDome | kHandOffDome << 1 | kHandOffDome << 2 | kBeadsOffDome;
    TileMask redraw;           // the tiles this frame draws
    std::vector<Rect> written; // frame pixels written by others since the last frame
    std::vector<Rect> drawn;   // the parts of the last frame that were drawn
};

} // namespace lumivane
