#include <algorithm>
#include <cstring>

#include "core/render/lanes.h"
#include "core/render/render.h"
#include "core/render/render_detail.h"

namespace lumivane {

namespace {

using detail::DomeArea;
using detail::LoadLanes;

// Pending notes beyond this many are not kept: the next frame is drawn whole.
constexpr size_t kMostNotes = 64;

// CopyShowsFrame looks at this many rows, spread over the frame, for a run of this many
// of the frame's own pixels: far more than a changed desktop matches by chance.
constexpr int32_t kCopyRowsLookedAt = 32;
constexpr int32_t kFrameRun = 16;

FrameBasis BasisOf(const ClockState& state) {
    FrameBasis basis;
    if (TDIB* frame = state.FrameBuffer.get()) {
        basis.frame = frame->Row(0);
        basis.width = frame->Width();
        basis.height = frame->Height();
    }
    if (TDIB* background = state.BackgroundBuffer.get()) {
        basis.background = background->Row(0);
        basis.backgroundWidth = background->Width();
        basis.backgroundHeight = background->Height();
    }
    basis.diameter = state.Diameter;
    basis.radius = state.Radius;
    basis.thickness = state.Thickness;
    basis.algoritm = state.Algoritm;
    basis.handLengths = {state.HourHandLength, state.MinuteHandLength, state.SecondHandLength};
    basis.bright = state.BrightFactor;
    basis.domeFactors = state.DomeFactorGeneration;
    basis.label = state.Label;
    return basis;
}

// Whether two runs of bytes are alike, two sets of lanes at a time: the C library's
// memcmp is a byte loop in some of the runtimes the program meets (Wine's msvcrt among
// them).
template <class Lanes>
[[gnu::always_inline]] inline bool SameBytesIn(const uint8_t* a, const uint8_t* b, size_t count) {
    using U16 = typename Lanes::U16;
    constexpr size_t kLane = sizeof(U16);
    size_t at = 0;
    for (; at + 2 * kLane <= count; at += 2 * kLane) {
        const U16 differ = U16((LoadLanes<U16>(a + at) ^ LoadLanes<U16>(b + at)) |
                               (LoadLanes<U16>(a + at + kLane) ^ LoadLanes<U16>(b + at + kLane)));
        if (Lanes::Any(differ != 0)) {
            return false;
        }
    }
    for (; at < count; ++at) {
        if (a[at] != b[at]) {
            return false;
        }
    }
    return true;
}

using ByteComparer = bool (*)(const uint8_t*, const uint8_t*, size_t);

#ifdef LUMIVANE_VECTOR_LANES
[[gnu::flatten]] bool SameBytesSse(const uint8_t* a, const uint8_t* b, size_t count) {
    return SameBytesIn<detail::SseLanes>(a, b, count);
}
#else
bool SameBytesSingle(const uint8_t* a, const uint8_t* b, size_t count) {
    return SameBytesIn<detail::SingleLanes>(a, b, count);
}
#endif

#ifdef LUMIVANE_AVX2_LANES
[[gnu::target("avx2"), gnu::flatten]] bool SameBytesAvx(const uint8_t* a, const uint8_t* b,
                                                        size_t count) {
    return SameBytesIn<detail::AvxLanes>(a, b, count);
}
#endif

ByteComparer SameBytesHere() {
#ifdef LUMIVANE_AVX2_LANES
    if (detail::HasAvx2()) {
        return SameBytesAvx;
    }
#endif
#ifdef LUMIVANE_VECTOR_LANES
    return SameBytesSse;
#else
    return SameBytesSingle;
#endif
}

// Bytes of one row of the kept background.
size_t KeptRowBytes(const FrameMemory& memory) {
    return 3 * static_cast<size_t>(memory.basis.width);
}

// Records which tiles hand `hand` lights now, and where off the dome.
void CoverHand(ClockState& state, size_t hand, const DomeArea& area) {
    FrameMemory& memory = state.LastFrame;
    const TileMask& tiles = memory.redraw;
    const auto onHand = static_cast<uint8_t>(1u << hand);
    const auto offDome = static_cast<uint8_t>(FrameMemory::kHandOffDome << hand);
    detail::VisitHandPixels(state, hand, [&](int32_t x, int32_t y) {
        uint8_t& cover = memory.cover[tiles.TileOf(x, y)];
        cover |= onHand;
        if (!area.Covers(x, y)) {
            cover |= offDome;
        }
    });
}

void DrawWhole(ClockState& state, const FrameBasis& basis, const DomeArea& area) {
    FrameMemory& memory = state.LastFrame;
    RenderFrame(state);
    TDIB& frame = *state.FrameBuffer;
    memory.drawn.assign(1, Rect{0, 0, frame.Width(), frame.Height()});
    if (area.Rows() == 0) {
        return; // nothing resets the frame: every frame is drawn whole
    }
    memory.basis = basis;
    memory.valid = true;
    memory.written.clear();
    memory.redraw.Reset(frame.Width(), frame.Height());
    memory.cover.assign(memory.redraw.Tiles(), 0);
    const size_t rowBytes = KeptRowBytes(memory);
    memory.background.resize(rowBytes * static_cast<size_t>(area.Rows()));
    TDIB& background = *state.BackgroundBuffer;
    for (int32_t y = 0; y < area.Rows(); ++y) {
        const DiscSpan span = area.Row(y);
        if (span.first <= span.last) {
            const size_t at = 3 * static_cast<size_t>(span.first);
            std::memcpy(memory.background.data() + rowBytes * static_cast<size_t>(y) + at,
                        background.Row(y) + at,
                        3 * static_cast<size_t>(span.last - span.first + 1));
        }
    }
    detail::VisitBeadPixels(state, [&](int32_t x, int32_t y) {
        if (!area.Covers(x, y)) {
            memory.cover[memory.redraw.TileOf(x, y)] |= FrameMemory::kBeadsOffDome;
        }
    });
    for (size_t hand = 0; hand < detail::kHandCount; ++hand) {
        CoverHand(state, hand, area);
    }
}

// Marks the tiles where the background under the dial differs from the kept one, and
// keeps the new pixels.
void MarkBackgroundChanges(ClockState& state, const DomeArea& area) {
    FrameMemory& memory = state.LastFrame;
    TileMask& redraw = memory.redraw;
    TDIB& background = *state.BackgroundBuffer;
    background.ScanLine(0); // lets the screen copy reach the pixels
    const size_t rowBytes = KeptRowBytes(memory);
    const ByteComparer sameBytes = SameBytesHere();
    constexpr int32_t kSide = TileMask::kSide;
    for (int32_t y = 0; y < area.Rows(); ++y) {
        const DiscSpan span = area.Row(y);
        if (span.first > span.last) {
            continue;
        }
        const uint8_t* now = background.Row(y);
        uint8_t* kept = memory.background.data() + rowBytes * static_cast<size_t>(y);
        // A still desktop leaves most rows as they were: one comparison passes them.
        const size_t spanAt = 3 * static_cast<size_t>(span.first);
        if (sameBytes(kept + spanAt, now + spanAt,
                      3 * static_cast<size_t>(span.last - span.first + 1))) {
            continue;
        }
        for (int32_t tileX = span.first / kSide; tileX <= span.last / kSide; ++tileX) {
            const int32_t first = std::max(span.first, tileX * kSide);
            const int32_t last = std::min(span.last, tileX * kSide + kSide - 1);
            const size_t at = 3 * static_cast<size_t>(first);
            const size_t bytes = 3 * static_cast<size_t>(last - first + 1);
            if (!sameBytes(kept + at, now + at, bytes)) {
                std::memcpy(kept + at, now + at, bytes);
                redraw.MarkTile(tileX, y / kSide);
            }
        }
    }
}

// Marks the tiles that hand `hand` lit at the last frame and lights now.
void MarkHandMove(ClockState& state, size_t hand, const DomeArea& area) {
    FrameMemory& memory = state.LastFrame;
    const auto onHand = static_cast<uint8_t>(1u << hand);
    const auto bits = static_cast<uint8_t>(onHand | FrameMemory::kHandOffDome << hand);
    for (size_t tile = 0; tile < memory.cover.size(); ++tile) {
        if ((memory.cover[tile] & onHand) != 0) {
            memory.redraw.MarkTile(tile);
        }
        memory.cover[tile] &= static_cast<uint8_t>(~bits);
    }
    CoverHand(state, hand, area);
    for (size_t tile = 0; tile < memory.cover.size(); ++tile) {
        if ((memory.cover[tile] & onHand) != 0) {
            memory.redraw.MarkTile(tile);
        }
    }
}

} // namespace

void RenderFrame(ClockState& state) {
    state.LastFrame.valid = false;
    DrawDial(state);
    DrawHourHand(state);
    DrawMinuteHand(state);
    DrawSecondHand(state);
}

std::span<const Rect> RenderChangedFrame(ClockState& state, bool backgroundChanged) {
    FrameMemory& memory = state.LastFrame;
    const FrameBasis basis = BasisOf(state);
    const DomeArea area(state);
    if (!detail::Drawable(state.FrameBuffer.get())) {
        RenderFrame(state); // draws nothing, as the frame cannot be drawn into
        memory.drawn.clear();
        return memory.drawn;
    }
    if (!memory.valid || !(memory.basis == basis) || area.Rows() == 0) {
        DrawWhole(state, basis, area);
        return memory.drawn;
    }
    memory.drawn.clear();
    TileMask& redraw = memory.redraw;
    redraw.Reset(basis.width, basis.height);
    if (backgroundChanged) {
        MarkBackgroundChanges(state, area);
    }
    for (const Rect& part : memory.written) {
        redraw.MarkRect(part);
    }
    memory.written.clear();
    for (size_t hand = 0; hand < detail::kHandCount; ++hand) {
        if (detail::PlaceHandSamples(state, hand)) {
            MarkHandMove(state, hand, area);
        }
    }
    for (size_t tile = 0; tile < memory.cover.size(); ++tile) {
        if ((memory.cover[tile] & FrameMemory::kOffDome) != 0) {
            redraw.MarkTile(tile);
        }
    }
    if (!redraw.AnyMarked()) {
        return memory.drawn;
    }
    detail::ShadeDome(state, &redraw);
    detail::DrawBeads(state, redraw);
    for (size_t hand = 0; hand < detail::kHandCount; ++hand) {
        detail::DrawPlacedHand(state, hand, redraw);
    }
    redraw.Rectangles(memory.drawn);
    return memory.drawn;
}

bool CopyShowsFrame(ClockState& state) {
    TDIB* copy = state.BackgroundBuffer.get();
    TDIB* frame = state.FrameBuffer.get();
    if (!detail::Drawable(copy) || !detail::Drawable(frame)) {
        return false;
    }
    copy->ScanLine(0); // lets the screen copy reach the pixels
    frame->ScanLine(0);
    const FrameMemory& memory = state.LastFrame;
    const size_t rowBytes = KeptRowBytes(memory);
    const bool kept = memory.valid && memory.basis.frame == frame->Row(0);
    const int32_t width = std::min(copy->Width(), frame->Width());
    const int32_t height = std::min(copy->Height(), frame->Height());
    const int32_t step = std::max(1, height / kCopyRowsLookedAt);
    for (int32_t y = step / 2; y < height; y += step) {
        const uint8_t* copied = copy->Row(y);
        const uint8_t* shown = frame->Row(y);
        const bool rowKept =
            kept && static_cast<size_t>(y + 1) * rowBytes <= memory.background.size();
        const uint8_t* before =
            rowKept ? memory.background.data() + rowBytes * static_cast<size_t>(y) : nullptr;
        int32_t run = 0;
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t* pixel = shown + 3 * static_cast<ptrdiff_t>(x);
            // Black is transparent; where the frame equals what lay beneath, the copy
            // cannot tell the two apart.
            const bool visible = (pixel[0] | pixel[1] | pixel[2]) != 0;
            if (!visible || (before != nullptr && std::memcmp(pixel, before + 3 * x, 3) == 0)) {
                continue;
            }
            if (std::memcmp(pixel, copied + 3 * static_cast<ptrdiff_t>(x), 3) != 0) {
                run = 0;
            } else if (++run >= kFrameRun) {
                return true;
            }
        }
    }
    return false;
}

void NoteFrameWritten(ClockState& state, Rect part) {
    FrameMemory& memory = state.LastFrame;
    if (memory.written.size() >= kMostNotes) {
        memory.valid = false;
        memory.written.clear();
        return;
    }
    memory.written.push_back(part);
}

} // namespace lumivane
