#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <optional>
#include <string>

#include "core/render/label.h"
#include "core/render/lanes.h"
#include "core/render/light_block.h"
#include "core/render/render.h"
#include "core/render/render_detail.h"
#include "core/render/trig.h"

namespace lumivane {

using detail::Drawable;
using detail::LoadLanes;
using detail::SingleLanes;
#ifdef LUMIVANE_VECTOR_LANES
using detail::SseLanes;
#endif
#ifdef LUMIVANE_AVX2_LANES
using detail::AvxLanes;
using detail::HasAvx2;
#endif

namespace {

// min(255, low 16 bits of Round(byte x factor)): the 16-bit store comes first, so a
// negative product wraps to a large value and ends as 255.
uint8_t DomeChannel(uint8_t byte, long double factor) {
    const uint16_t stored = detail::RoundLow16(static_cast<long double>(byte) * factor);
    return static_cast<uint8_t>(stored > 255 ? 255 : stored);
}

// The one-quadrant tables reach every pixel of the current Diameter.
bool QuadrantTablesCover(const ClockState& state) {
    const int64_t side = static_cast<int64_t>(state.Diameter) / 2 + 1;
    const size_t entries = static_cast<size_t>(state.QuadrantSide) * state.QuadrantSide;
    return state.QuadrantSide >= side && state.ShadingTable.size() >= entries;
}

// The fixed-point factors were made for this Diameter and reach all their rows.
bool DomeFactorsCover(const ClockState& state) {
    const size_t side = static_cast<size_t>(state.Diameter) / 2 + 1;
    if (state.DomeFactorDiameter != state.Diameter || state.DomeFactorRows.size() < side) {
        return false;
    }
    const DomeFactorRow& last = state.DomeFactorRows[side - 1];
    const size_t end = last.offset + 3 * static_cast<size_t>(last.count);
    return state.DomeFactorHigh.size() >= end && state.DomeFactorLow.size() >= end;
}

// One frame row's part of the dome: its factors in extended precision and, where they
// all lie in 0..1, in fixed point; the background row it reads.
struct DomeRow {
    const ClockState& state;
    const long double* factors; // [quadrant index]
    const DomeFactorRow* fixed; // none: the row takes the rule as written
    const uint8_t* source;      // the background row
};

// The dome rule as written, for pixels first..last of a row; `out` receives pixel first.
[[gnu::noinline]] void ShadeDomeExactly(const DomeRow& row, uint8_t* out, int32_t first,
                                        int32_t last) {
    for (int32_t x = first; x <= last; ++x) {
        const long double factor = row.factors[row.state.QuadrantIndex(x)];
        const uint8_t* in = row.source + 3 * static_cast<ptrdiff_t>(x);
        uint8_t* to = out + 3 * static_cast<ptrdiff_t>(x - first);
        to[0] = DomeChannel(in[0], factor);
        to[1] = DomeChannel(in[1], factor);
        to[2] = DomeChannel(in[2], factor);
    }
}

// The dome rule in fixed point. A factor f in 0..1 is held as q, f * 2^24 less at most
// 1, split into a high byte and a low 16 bits so that every product fits 16 bits, and
// v = byte * q + 2^23 has Round(byte * f) in its bits 24 to 31. byte * q falls short of
// byte * f * 2^24 by at most 255, so the rounding can differ from the extended rule only
// where the low 24 bits of v are 0 or above 2^24 - 256, that is where bits 8 to 23 are
// all 0 or all 1. Such a byte's pixel is recomputed by the rule as written.
template <class U16, class Mask> struct DomeLanes {
    U16 shaded;
    Mask unsure;
};

template <class Lanes, class U16 = typename Lanes::U16>
[[gnu::always_inline]] inline auto ShadeDomeLanes(U16 byte, U16 high, U16 low) {
    // v = (byte * high + productHigh + 2^7) * 2^16 + productLow.
    const U16 productLow = U16(byte * low);
    const U16 highPart = U16(byte * high + Lanes::MulHigh(byte, low) + 128);
    const U16 middle = U16(highPart << 8 | productLow >> 8);
    // middle + 1 wraps 0xFFFF to 0: unsure exactly when it is 0 or 1.
    auto unsure = U16(U16(middle + 1) & 0xFFFE) == 0;
    return DomeLanes<U16, decltype(unsure)>{U16(highPart >> 8), unsure};
}

bool DomeByteSure(uint8_t byte, uint8_t high, uint16_t low) {
    return !ShadeDomeLanes<SingleLanes, uint16_t>(byte, high, low).unsure;
}

// Blocks of a fixed length, whole sets of lanes of every lane set.
constexpr int32_t kDomeBlockPixels = 32;
constexpr int32_t kDomeBlockBytes = 3 * kDomeBlockPixels;

// Pixels first..last of a frame row whose quadrant row has fixed-point factors, at least
// a block of them; `out` receives pixel first. Inlined into one variant per lane set.
template <class Lanes>
[[gnu::always_inline]] inline void ShadeDomeBlocks(const DomeRow& row, uint8_t* out, int32_t first,
                                                   int32_t last) {
    using U16 = typename Lanes::U16;
    const DomeFactorRow& fixed = *row.fixed;
    const uint8_t* high = row.state.DomeFactorHigh.data() + fixed.offset;
    const uint16_t* low = row.state.DomeFactorLow.data() + fixed.offset;
    // The last block ends at the last pixel and may overlap the one before it, which
    // only writes the same bytes again.
    for (int32_t x = first; x <= last;) {
        x = std::min(x, last + 1 - kDomeBlockPixels);
        const uint8_t* in = row.source + 3 * static_cast<ptrdiff_t>(x);
        uint8_t* to = out + 3 * static_cast<ptrdiff_t>(x - first);
        const ptrdiff_t factor = 3 * static_cast<ptrdiff_t>(x - fixed.first);
        bool unsure = false;
        for (int32_t k = 0; k < kDomeBlockBytes; k += static_cast<int32_t>(Lanes::kU16)) {
            const auto shaded =
                ShadeDomeLanes<Lanes>(Lanes::LoadBytes(in + k), Lanes::LoadBytes(high + factor + k),
                                      LoadLanes<U16>(low + factor + k));
            Lanes::StoreBytes(to + k, shaded.shaded);
            unsure = unsure || Lanes::Any(shaded.unsure);
        }
        if (unsure) {
            for (int32_t pixel = 0; pixel < kDomeBlockPixels; ++pixel) {
                const ptrdiff_t k = 3 * static_cast<ptrdiff_t>(pixel);
                const ptrdiff_t at = factor + k;
                if (!(DomeByteSure(in[k], high[at], low[at]) &&
                      DomeByteSure(in[k + 1], high[at + 1], low[at + 1]) &&
                      DomeByteSure(in[k + 2], high[at + 2], low[at + 2]))) {
                    ShadeDomeExactly(row, to + k, x + pixel, x + pixel);
                }
            }
        }
        x += kDomeBlockPixels;
    }
}

using DomeBlockShader = void (*)(const DomeRow&, uint8_t*, int32_t, int32_t);

#ifdef LUMIVANE_VECTOR_LANES
[[gnu::flatten]] void ShadeDomeBlocksSse(const DomeRow& row, uint8_t* out, int32_t first,
                                         int32_t last) {
    ShadeDomeBlocks<SseLanes>(row, out, first, last);
}
#else
void ShadeDomeBlocksSingle(const DomeRow& row, uint8_t* out, int32_t first, int32_t last) {
    ShadeDomeBlocks<SingleLanes>(row, out, first, last);
}
#endif

#ifdef LUMIVANE_AVX2_LANES
[[gnu::target("avx2"), gnu::flatten]] void ShadeDomeBlocksAvx(const DomeRow& row, uint8_t* out,
                                                              int32_t first, int32_t last) {
    ShadeDomeBlocks<AvxLanes>(row, out, first, last);
}
#endif

// The fixed-point dome for this processor.
DomeBlockShader DomeBlockShaderHere() {
#ifdef LUMIVANE_AVX2_LANES
    if (HasAvx2()) {
        return ShadeDomeBlocksAvx;
    }
#endif
#ifdef LUMIVANE_VECTOR_LANES
    return ShadeDomeBlocksSse;
#else
    return ShadeDomeBlocksSingle;
#endif
}

constexpr int32_t kMaxBeadSamples = 1 + 8 + 16 + 24; // rings 0 to 3

// A bead's pixels as offsets from its centre, in ring order, with their weights.
struct Bead {
    int32_t samples = 0;
    int32_t reach = 0; // the samples lie within this many pixels of the centre, across and down
    std::array<int32_t, kMaxBeadSamples> dx{};
    std::array<int32_t, kMaxBeadSamples> dy{};
    std::array<long double, kMaxBeadSamples> weight{};
    std::array<double, kMaxBeadSamples> weightFast{};
    bool fast = true; // every weight is a FastWeight
};

// The weights depend on the bead radius and BrightFactor only, so a pass works them
// out once for all its beads.
Bead MakeBead(const ClockState& state, int32_t beadRadius, bool softenDiagonals) {
    Bead bead;
    const int32_t rings = std::min(beadRadius, 3);
    const long double bright = state.BrightFactor;
    const long double radius = beadRadius;
    for (int32_t ring = 0; ring <= rings; ++ring) {
        const int32_t positions = ring == 0 ? 1 : 8 * ring;
        for (int32_t k = 0; k < positions; ++k) {
            const int32_t dx = state.RingOffsetX[ring][k];
            const int32_t dy = state.RingOffsetY[ring][k];
            long double weight = 0;
            if (ring == 0) {
                weight = 1.41L * bright;
            } else {
                const long double across = dx / radius;
                const long double along = dy / radius;
                if (softenDiagonals && beadRadius == 1 && dx != 0 && dy != 0) {
                    weight =
                        (1.41L - std::sqrt(0.7L * (across * across) + 0.7L * (along * along))) *
                        bright;
                } else {
                    weight = (1.41L - std::sqrt(across * across + along * along)) * bright;
                }
            }
            bead.reach = std::max({bead.reach, std::abs(dx), std::abs(dy)});
            bead.dx[bead.samples] = dx;
            bead.dy[bead.samples] = dy;
            bead.weight[bead.samples] = weight;
            bead.weightFast[bead.samples] = static_cast<double>(weight);
            bead.fast = bead.fast && detail::FastWeight(weight);
            ++bead.samples;
        }
    }
    return bead;
}

// The frame pixel of a bead's sample: one off the frame falls back to column or row 0.
struct BeadPixel {
    int32_t x;
    int32_t y;
};
BeadPixel BeadPixelAt(const TDIB& frame, int64_t x, int64_t y) {
    return {static_cast<int32_t>(x < 0 || x >= frame.Width() ? 0 : x),
            static_cast<int32_t>(y < 0 || y >= frame.Height() ? 0 : y)};
}

// Whether a bead lights no pixel of the marked tiles, told from its corners where the
// whole bead lies on the frame (a bead is smaller than a tile).
bool BeadOutside(const TDIB& frame, const Bead& bead, int64_t centreX, int64_t centreY,
                 const TileMask& only) {
    const int64_t reach = bead.reach;
    if (2 * reach >= TileMask::kSide || centreX - reach < 0 || centreX + reach >= frame.Width() ||
        centreY - reach < 0 || centreY + reach >= frame.Height()) {
        return false;
    }
    const auto x0 = static_cast<int32_t>(centreX - reach);
    const auto x1 = static_cast<int32_t>(centreX + reach);
    const auto y0 = static_cast<int32_t>(centreY - reach);
    const auto y1 = static_cast<int32_t>(centreY + reach);
    return !(only.Covers(x0, y0) || only.Covers(x1, y0) || only.Covers(x0, y1) ||
             only.Covers(x1, y1));
}

// Lights the bead's pixels, only those in the marked tiles when `only` is given. The
// frame must be drawable.
void DrawBead(TDIB& frame, const Bead& bead, int64_t centreX, int64_t centreY,
              const TileMask* only) {
    if (only != nullptr && BeadOutside(frame, bead, centreX, centreY, *only)) {
        return;
    }
    // Set for every sample before being read, so left uninitialised.
    std::array<uint8_t*, kMaxBeadSamples> pixels;
    std::array<uint32_t, kMaxBeadSamples> colours; // RGB values
    std::array<int32_t, kMaxBeadSamples> samples;  // which sample each pixel is
    int32_t count = 0;
    detail::SampleBatch<detail::kBeadBlock> batch;
    static_assert(detail::kBeadBlock >= kMaxBeadSamples);
    for (int32_t i = 0; i < bead.samples; ++i) {
        const BeadPixel at = BeadPixelAt(frame, centreX + bead.dx[i], centreY + bead.dy[i]);
        if (only != nullptr && !only->Covers(at.x, at.y)) {
            continue;
        }
        uint8_t* pixel = frame.Row(at.y) + 3 * static_cast<ptrdiff_t>(at.x);
        pixels[count] = pixel;
        samples[count] = i;
        batch.Add(pixel[2], pixel[1], pixel[0], bead.weightFast[i], bead.fast,
                  static_cast<uint32_t>(count));
        ++count;
    }
    batch.Flush([&](uint32_t k, const Colour* lit) {
        const uint8_t* pixel = pixels[k];
        const Colour shaded =
            lit != nullptr ? *lit
                           : ShadePixel(pixel[2], pixel[1], pixel[0], bead.weight[samples[k]]);
        colours[k] = RGB(static_cast<uint32_t>(shaded.red), static_cast<uint32_t>(shaded.green),
                         static_cast<uint32_t>(shaded.blue));
    });
    // Written only after every sample is read: a bead never lights its own result.
    for (int32_t k = 0; k < count; ++k) {
        detail::WritePixel(pixels[k], 0, static_cast<int32_t>(colours[k] & 0xFF),
                           static_cast<int32_t>(colours[k] >> 8 & 0xFF),
                           static_cast<int32_t>(colours[k] >> 16 & 0xFF));
    }
}

int32_t MinuteMarkRadius(const ClockState& state) {
    return std::min(state.Thickness / 3, 3);
}

int32_t NumeralDotRadius(const ClockState& state) {
    return std::min(state.Thickness / 2, 3);
}

// The label at half the numerals' pitch, rounded up: twelve of its widest characters
// then fit between the hub and the numerals from the smallest clocks up.
int64_t LabelPitch(const ClockState& state) {
    const int64_t thickness = state.Thickness;
    return thickness / 2 + thickness % 2;
}

int32_t LabelDotRadius(int64_t pitch) {
    return static_cast<int32_t>(std::min<int64_t>(pitch / 2, 3));
}

// Where the label's dots go: column 0 at x = `left`, row b = -3 at y = `top`, spelling
// `text`.
struct LabelPlace {
    std::string text;
    int64_t left = 0;
    int64_t top = 0;
    int64_t pitch = 0;
};

// Its top beads 2 Thickness + 2 pixels below the centre, clear of the hands' hub, and
// centred on the numerals' middle column. It keeps a pixel inside the minute marks'
// beads and above the 6's: where the dial is too small for all of it, characters are
// dropped from its end.
std::optional<LabelPlace> PlaceLabel(const ClockState& state) {
    if (state.Label.empty() || state.Thickness < 1 || state.Diameter <= 0) {
        return std::nullopt;
    }
    LabelPlace place;
    place.text = LabelDrawnText(state.Label);
    place.pitch = LabelPitch(state);
    const int64_t thickness = state.Thickness;
    const int64_t radius = state.Radius;
    const int64_t bead = LabelDotRadius(place.pitch);
    place.top = radius + 2 * thickness + 2 + bead;
    const int64_t lowest = place.top + 6 * place.pitch + bead;
    const int64_t sixTop = 2 * radius - 9 * thickness - NumeralDotRadius(state);
    if (lowest + 1 >= sixTop || lowest >= state.Diameter) {
        return std::nullopt;
    }
    const long double reach = static_cast<long double>(radius - thickness) -
                              static_cast<long double>(MinuteMarkRadius(state)) - 1.0L;
    const auto inside = [&](int64_t x) {
        return x >= 0 && x < state.Diameter &&
               state.Distance(static_cast<int32_t>(x), static_cast<int32_t>(lowest)) <= reach;
    };
    while (!place.text.empty()) {
        const int64_t span = (LabelColumns(place.text) - 1) * place.pitch;
        place.left = radius - span / 2;
        if (inside(place.left - bead) && inside(place.left + span + bead)) {
            return place;
        }
        place.text.pop_back();
        while (!place.text.empty() && place.text.back() == ' ') {
            place.text.pop_back();
        }
    }
    return std::nullopt;
}

// The frame that the beads light, with pending platform drawing flushed; none when
// there is nothing to draw.
TDIB* BeadFrame(ClockState& state, int32_t beadRadius) {
    TDIB* frame = state.FrameBuffer.get();
    if (!Drawable(frame) || state.Diameter <= 0 || beadRadius < 0) {
        return nullptr;
    }
    frame->ScanLine(0);
    return frame;
}

// The marks' and numerals' places for the current Radius and Thickness, worked out
// again only when either has changed.
const DialLayout& LayoutOf(ClockState& state) {
    DialLayout& layout = state.Layout;
    if (layout.radius == state.Radius && layout.thickness == state.Thickness) {
        return layout;
    }
    const int64_t radius = state.Radius;
    const int64_t thickness = state.Thickness;
    const long double markReach = static_cast<long double>(radius - thickness);
    // Accumulated rather than multiplied: the marks that land on a half pixel
    // fall where the summed angle puts them.
    long double markAngle = 0;
    for (auto& [offsetX, offsetY] : layout.marks) {
        offsetX = detail::RoundToInt32(Cos(markAngle - detail::kHalfPi) * markReach);
        offsetY = detail::RoundToInt32(Sin(markAngle - detail::kHalfPi) * markReach);
        markAngle = markAngle + detail::kPiOver30;
    }
    const long double numeralReach = static_cast<long double>(radius - 6 * thickness);
    long double numeralAngle = 0;
    for (auto& [anchorX, anchorY] : layout.anchors) {
        anchorX = detail::RoundToInt32(Cos(numeralAngle - detail::kHalfPi) * numeralReach);
        anchorY = detail::RoundToInt32(Sin(numeralAngle - detail::kHalfPi) * numeralReach);
        numeralAngle = numeralAngle + detail::kPiOver6;
    }
    layout.radius = state.Radius;
    layout.thickness = state.Thickness;
    return layout;
}

} // namespace

namespace detail {

DomeArea::DomeArea(const ClockState& state) : state_(state) {
    const TDIB* background = state.BackgroundBuffer.get();
    const TDIB* frame = state.FrameBuffer.get();
    if (!Drawable(background) || !Drawable(frame) || state.Diameter <= 0 ||
        !QuadrantTablesCover(state)) {
        return;
    }
    rows_ = static_cast<int32_t>(
        std::min<int64_t>({background->Height(), frame->Height(), state.Diameter,
                           static_cast<int64_t>(state.DiscSpans.size())}));
    lastColumn_ = std::min({background->Width(), frame->Width(), state.Diameter}) - 1;
}

DiscSpan DomeArea::Row(int32_t y) const {
    if (y < 0 || y >= rows_) {
        return {};
    }
    const DiscSpan span = state_.DiscSpans[static_cast<size_t>(y)];
    return {std::max(span.first, 0), std::min(span.last, lastColumn_)};
}

void ShadeDome(ClockState& state, const TileMask* only) {
    const DomeArea area(state);
    if (area.Rows() == 0) {
        return;
    }
    TDIB& background = *state.BackgroundBuffer;
    TDIB& frame = *state.FrameBuffer;
    const bool fixedPoint = DomeFactorsCover(state);
    const DomeBlockShader shadeBlocks = DomeBlockShaderHere();
    background.ScanLine(0); // lets the screen copy reach the pixels
    frame.ScanLine(0);

    // Pixels first..last of a row whose dome pixels are `span`. Parts of a row come out
    // as the whole row would: the fixed point serves a part as it serves the row, a part
    // shorter than a block through a whole block around it.
    const auto shadePart = [&](const DomeRow& row, uint8_t* target, int32_t first, int32_t last,
                               DiscSpan span) {
        const DomeFactorRow* fixed = row.fixed;
        if (fixed == nullptr || fixed->exact || span.first < fixed->first ||
            span.last >= fixed->first + fixed->count ||
            span.last - span.first + 1 < kDomeBlockPixels) {
            ShadeDomeExactly(row, target + 3 * static_cast<ptrdiff_t>(first), first, last);
        } else if (last - first + 1 >= kDomeBlockPixels) {
            shadeBlocks(row, target + 3 * static_cast<ptrdiff_t>(first), first, last);
        } else {
            const int32_t start = std::min(first, span.last + 1 - kDomeBlockPixels);
            std::array<uint8_t, kDomeBlockBytes> block;
            shadeBlocks(row, block.data(), start, start + kDomeBlockPixels - 1);
            std::memcpy(target + 3 * static_cast<ptrdiff_t>(first),
                        block.data() + 3 * static_cast<ptrdiff_t>(first - start),
                        3 * static_cast<size_t>(last - first + 1));
        }
    };
    const auto shadeRow = [&](int32_t y, int32_t quadrantRow) {
        const DiscSpan span = area.Row(y);
        if (span.first > span.last) {
            return;
        }
        const DomeRow row{
            state,
            state.ShadingTable.data() + static_cast<size_t>(quadrantRow) * state.QuadrantSide,
            fixedPoint ? &state.DomeFactorRows[static_cast<size_t>(quadrantRow)] : nullptr,
            background.Row(y)};
        uint8_t* target = frame.Row(y);
        if (only == nullptr) {
            shadePart(row, target, span.first, span.last, span);
            return;
        }
        // The runs of marked tiles along the row.
        const int32_t tileY = y / TileMask::kSide;
        const int32_t lastTile = span.last / TileMask::kSide;
        for (int32_t tileX = span.first / TileMask::kSide; tileX <= lastTile;) {
            if (!only->TileMarked(tileX, tileY)) {
                ++tileX;
                continue;
            }
            const int32_t first = std::max(span.first, tileX * TileMask::kSide);
            while (tileX <= lastTile && only->TileMarked(tileX, tileY)) {
                ++tileX;
            }
            shadePart(row, target, first, std::min(span.last, tileX * TileMask::kSide - 1), span);
        }
    };
    // A quadrant row serves two frame rows, Diameter / 2 - i and its mirror image (one
    // row only in the middle of an even dial): they are shaded one after the other while
    // the row's factors are still in the cache.
    const int32_t half = state.Diameter / 2;
    for (int32_t quadrantRow = 0; quadrantRow <= half; ++quadrantRow) {
        const int32_t top = half - quadrantRow;
        const int32_t bottom = state.Diameter - top;
        if (top < area.Rows()) {
            shadeRow(top, quadrantRow);
        }
        if (bottom != top && bottom < area.Rows()) {
            shadeRow(bottom, quadrantRow);
        }
    }
}

} // namespace detail

void ShadeDialDome(ClockState& state) {
    detail::ShadeDome(state, nullptr);
}

namespace {

// Every minute mark's bead and centre, clockwise from 12 o'clock.
template <class Visit> void VisitMarks(ClockState& state, Visit&& visit) {
    const int32_t beadRadius = MinuteMarkRadius(state);
    TDIB* frame = BeadFrame(state, beadRadius);
    if (frame == nullptr) {
        return;
    }
    const Bead bead = MakeBead(state, beadRadius, false);
    const int64_t radius = state.Radius;
    for (const auto& [offsetX, offsetY] : LayoutOf(state).marks) {
        visit(*frame, bead, radius + offsetX, radius + offsetY);
    }
}

// Every numeral dot's bead and centre, in drawing order.
template <class Visit> void VisitNumeralDots(ClockState& state, Visit&& visit) {
    const int32_t beadRadius = NumeralDotRadius(state);
    TDIB* frame = BeadFrame(state, beadRadius);
    if (frame == nullptr) {
        return;
    }
    const Bead bead = MakeBead(state, beadRadius, true);
    const int64_t radius = state.Radius;
    const int64_t thickness = state.Thickness;
    const int64_t half = thickness / 2;
    const DialLayout& layout = LayoutOf(state);
    for (size_t numeral = 0; numeral < NumeralGlyphs.size(); ++numeral) {
        const auto [anchorX, anchorY] = layout.anchors[numeral];
        for (const GlyphDot& dot : NumeralGlyphs[numeral]) {
            const int64_t nudgeX = dot.nudgeX + dot.nudgeXHalf * half;
            const int64_t x = radius + anchorX + dot.a * thickness + nudgeX;
            const int64_t y = radius + anchorY + dot.b * thickness + dot.nudgeY;
            visit(*frame, bead, detail::ClampToInt32(x), detail::ClampToInt32(y));
        }
    }
}

// Every label dot's bead and centre, character by character.
template <class Visit> void VisitLabelDots(ClockState& state, Visit&& visit) {
    const std::optional<LabelPlace> place = PlaceLabel(state);
    if (!place) {
        return;
    }
    const int32_t beadRadius = LabelDotRadius(place->pitch);
    TDIB* frame = BeadFrame(state, beadRadius);
    if (frame == nullptr) {
        return;
    }
    const Bead bead = MakeBead(state, beadRadius, true);
    const int64_t half = place->pitch / 2;
    int64_t column = 0;
    for (const char character : place->text) {
        const LabelGlyph* glyph = LabelFont.Find(character);
        if (glyph == nullptr) {
            column += kLabelSpaceWidth + kLabelSpacing;
            continue;
        }
        for (const GlyphDot& dot : LabelFont.DotsOf(*glyph)) {
            const int64_t x =
                place->left + (column + dot.a) * place->pitch + dot.nudgeX + dot.nudgeXHalf * half;
            const int64_t y = place->top + (dot.b + 3) * place->pitch + dot.nudgeY;
            visit(*frame, bead, detail::ClampToInt32(x), detail::ClampToInt32(y));
        }
        column += glyph->width + kLabelSpacing;
    }
}

const auto kDrawWhole = [](TDIB& frame, const Bead& bead, int64_t x, int64_t y) {
    DrawBead(frame, bead, x, y, nullptr);
};

} // namespace

void DrawMinuteMark(ClockState& state, int32_t offsetX, int32_t offsetY) {
    const int32_t beadRadius = MinuteMarkRadius(state);
    if (TDIB* frame = BeadFrame(state, beadRadius)) {
        const int64_t radius = state.Radius;
        DrawBead(*frame, MakeBead(state, beadRadius, false), radius + offsetX, radius + offsetY,
                 nullptr);
    }
}

void DrawNumeralDot(ClockState& state, int32_t x, int32_t y) {
    const int32_t beadRadius = NumeralDotRadius(state);
    if (TDIB* frame = BeadFrame(state, beadRadius)) {
        DrawBead(*frame, MakeBead(state, beadRadius, true), x, y, nullptr);
    }
}

void DrawMinuteMarks(ClockState& state) {
    VisitMarks(state, kDrawWhole);
}

void DrawNumerals(ClockState& state) {
    VisitNumeralDots(state, kDrawWhole);
}

void DrawLabel(ClockState& state) {
    VisitLabelDots(state, kDrawWhole);
}

void DrawDial(ClockState& state) {
    ShadeDialDome(state);
    DrawMinuteMarks(state);
    DrawNumerals(state);
    DrawLabel(state);
}

namespace detail {

void DrawBeads(ClockState& state, const TileMask& only) {
    const auto draw = [&](TDIB& frame, const Bead& bead, int64_t x, int64_t y) {
        DrawBead(frame, bead, x, y, &only);
    };
    VisitMarks(state, draw);
    VisitNumeralDots(state, draw);
    VisitLabelDots(state, draw);
}

void VisitBeadPixels(ClockState& state, const std::function<void(int32_t, int32_t)>& visit) {
    const auto pixels = [&](TDIB& frame, const Bead& bead, int64_t x, int64_t y) {
        for (int32_t i = 0; i < bead.samples; ++i) {
            const BeadPixel at = BeadPixelAt(frame, x + bead.dx[i], y + bead.dy[i]);
            visit(at.x, at.y);
        }
    };
    VisitMarks(state, pixels);
    VisitNumeralDots(state, pixels);
    VisitLabelDots(state, pixels);
}

} // namespace detail

} // namespace lumivane
