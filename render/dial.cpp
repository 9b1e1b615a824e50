#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "render/light_block.h"
#include "render/render.h"
#include "render/render_detail.h"
#include "render/trig.h"

namespace lumivane {

using detail::Drawable;

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

// The dome rule as written, for pixels first..last of a row.
void ShadeDomeExactly(const ClockState& state, const long double* factors, const uint8_t* source,
                      uint8_t* target, int32_t first, int32_t last) {
    for (int32_t x = first; x <= last; ++x) {
        const long double factor = factors[state.QuadrantIndex(x)];
        const ptrdiff_t at = 3 * static_cast<ptrdiff_t>(x);
        target[at] = DomeChannel(source[at], factor);
        target[at + 1] = DomeChannel(source[at + 1], factor);
        target[at + 2] = DomeChannel(source[at + 2], factor);
    }
}

// The dome rule in fixed point. A factor f in 0..1 is held as q, f * 2^24 less at most
// 1, split into a high byte and a low 16 bits so that every product fits 16 bits, and
// v = byte * q + 2^23 has Round(byte * f) in its bits 24 to 31. byte * q falls short of
// byte * f * 2^24 by at most 255, so the rounding can differ from the extended rule only
// where the low 24 bits of v are 0 or above 2^24 - 256, that is where bits 8 to 23 are
// all 0 or all 1. Such a byte's pixel is recomputed by the rule as written.
struct DomeByte {
    uint8_t shaded;
    bool sure;
};

inline DomeByte ShadeDomeByte(uint16_t byte, uint8_t high, uint16_t low) {
    // v = (byte * high + productHigh + 2^7) * 2^16 + productLow.
    const auto productLow = static_cast<uint16_t>(byte * low);
    const auto productHigh = static_cast<uint16_t>((uint32_t{byte} * low) >> 16);
    const auto highPart = static_cast<uint16_t>(byte * high + productHigh + 128);
    const auto middle = static_cast<uint16_t>(highPart << 8 | productLow >> 8);
    // middle + 1 wraps 0xFFFF to 0: unsure exactly when it is 0 or 1.
    return {static_cast<uint8_t>(highPart >> 8), static_cast<uint16_t>(middle + 1) > 1};
}

// Blocks of a fixed length, so that the compiler can turn the loop into vector code.
constexpr int32_t kDomeBlockPixels = 32;
constexpr int32_t kDomeBlockBytes = 3 * kDomeBlockPixels;

// Pixels first..last of a frame row whose quadrant row has fixed-point factors, at least
// a block of them. Inlined into one variant per instruction set (below).
[[gnu::always_inline]] inline void
ShadeDomeBlocks(const ClockState& state, const DomeFactorRow& row, const long double* factors,
                const uint8_t* source, uint8_t* target, int32_t first, int32_t last) {
    const uint8_t* high = state.DomeFactorHigh.data() + row.offset;
    const uint16_t* low = state.DomeFactorLow.data() + row.offset;
    // The last block ends at the last pixel and may overlap the one before it, which
    // only writes the same bytes again.
    for (int32_t x = first; x <= last;) {
        x = std::min(x, last + 1 - kDomeBlockPixels);
        const ptrdiff_t at = 3 * static_cast<ptrdiff_t>(x);
        const ptrdiff_t factor = 3 * static_cast<ptrdiff_t>(x - row.first);
        // Local copies: the compiler need not fear that the target overlaps the factors.
        std::array<uint8_t, kDomeBlockBytes> in;
        std::array<uint8_t, kDomeBlockBytes> out;
        std::memcpy(in.data(), source + at, in.size());
        uint16_t unsure = 0;
        for (int32_t k = 0; k < kDomeBlockBytes; ++k) {
            const DomeByte shaded = ShadeDomeByte(in[k], high[factor + k], low[factor + k]);
            out[k] = shaded.shaded;
            unsure |= static_cast<uint16_t>(!shaded.sure);
        }
        std::memcpy(target + at, out.data(), out.size());
        if (unsure != 0) {
            for (int32_t pixel = x; pixel < x + kDomeBlockPixels; ++pixel) {
                const ptrdiff_t k = 3 * static_cast<ptrdiff_t>(pixel - x);
                if (!(ShadeDomeByte(in[k], high[factor + k], low[factor + k]).sure &&
                      ShadeDomeByte(in[k + 1], high[factor + k + 1], low[factor + k + 1]).sure &&
                      ShadeDomeByte(in[k + 2], high[factor + k + 2], low[factor + k + 2]).sure)) {
                    ShadeDomeExactly(state, factors, source, target, pixel, pixel);
                }
            }
        }
        x += kDomeBlockPixels;
    }
}

using DomeSpanShader = void (*)(const ClockState&, const DomeFactorRow&, const long double*,
                                const uint8_t*, uint8_t*, int32_t, int32_t);

void ShadeDomeSpan(const ClockState& state, const DomeFactorRow& row, const long double* factors,
                   const uint8_t* source, uint8_t* target, int32_t first, int32_t last) {
    ShadeDomeBlocks(state, row, factors, source, target, first, last);
}

#if defined(__GNUC__) && defined(__x86_64__) && !defined(_WIN32)
// The same code for processors with AVX2: vectors twice as wide. (Not on Windows, where
// the compilers do not keep the stack aligned for them.)
[[gnu::target("avx2")]] void ShadeDomeSpanAvx2(const ClockState& state, const DomeFactorRow& row,
                                               const long double* factors, const uint8_t* source,
                                               uint8_t* target, int32_t first, int32_t last) {
    ShadeDomeBlocks(state, row, factors, source, target, first, last);
}
#endif

// The fixed-point dome for this processor.
DomeSpanShader DomeSpanShaderHere() {
#if defined(__GNUC__) && defined(__x86_64__) && !defined(_WIN32)
    if (__builtin_cpu_supports("avx2")) {
        return ShadeDomeSpanAvx2;
    }
#endif
    return ShadeDomeSpan;
}

constexpr int32_t kMaxBeadSamples = 1 + 8 + 16 + 24; // rings 0 to 3

// A bead's pixels as offsets from its centre, in ring order, with their weights.
struct Bead {
    int32_t samples = 0;
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

// The frame must be drawable.
void DrawBead(TDIB& frame, const Bead& bead, int64_t centreX, int64_t centreY) {
    const int32_t width = frame.Width();
    const int32_t height = frame.Height();
    // Set for every sample before being read, so left uninitialised.
    std::array<uint8_t*, kMaxBeadSamples> pixels;
    std::array<uint32_t, kMaxBeadSamples> colours; // RGB values
    detail::SampleBatch<detail::kBeadBlock> batch;
    static_assert(detail::kBeadBlock >= kMaxBeadSamples);
    for (int32_t i = 0; i < bead.samples; ++i) {
        int64_t x = centreX + bead.dx[i];
        int64_t y = centreY + bead.dy[i];
        if (x < 0 || x >= width) {
            x = 0;
        }
        if (y < 0 || y >= height) {
            y = 0;
        }
        uint8_t* pixel = frame.Row(static_cast<int32_t>(y)) + 3 * x;
        pixels[i] = pixel;
        batch.Add(pixel[2], pixel[1], pixel[0], bead.weightFast[i], bead.fast,
                  static_cast<uint32_t>(i));
    }
    batch.Flush([&](uint32_t i, const Colour* lit) {
        const uint8_t* pixel = pixels[i];
        const Colour shaded =
            lit != nullptr ? *lit : ShadePixel(pixel[2], pixel[1], pixel[0], bead.weight[i]);
        colours[i] = RGB(static_cast<uint32_t>(shaded.red), static_cast<uint32_t>(shaded.green),
                         static_cast<uint32_t>(shaded.blue));
    });
    // Written only after every sample is read: a bead never lights its own result.
    for (int32_t i = 0; i < bead.samples; ++i) {
        detail::WritePixel(pixels[i], 0, static_cast<int32_t>(colours[i] & 0xFF),
                           static_cast<int32_t>(colours[i] >> 8 & 0xFF),
                           static_cast<int32_t>(colours[i] >> 16 & 0xFF));
    }
}

int32_t MinuteMarkRadius(const ClockState& state) {
    return std::min(state.Thickness / 3, 3);
}

int32_t NumeralDotRadius(const ClockState& state) {
    return std::min(state.Thickness / 2, 3);
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

void ShadeDialDome(ClockState& state) {
    TDIB* background = state.BackgroundBuffer.get();
    TDIB* frame = state.FrameBuffer.get();
    if (!Drawable(background) || !Drawable(frame) || state.Diameter <= 0 ||
        !QuadrantTablesCover(state)) {
        return;
    }
    const int32_t rows = static_cast<int32_t>(
        std::min<int64_t>({background->Height(), frame->Height(), state.Diameter,
                           static_cast<int64_t>(state.DiscSpans.size())}));
    const int32_t lastColumn = std::min({background->Width(), frame->Width(), state.Diameter}) - 1;
    const bool fixedPoint = DomeFactorsCover(state);
    const DomeSpanShader shadeSpan = DomeSpanShaderHere();
    background->ScanLine(0); // lets the screen copy reach the pixels
    frame->ScanLine(0);

    const auto shadeRow = [&](int32_t y, int32_t quadrantRow) {
        const DiscSpan span = state.DiscSpans[static_cast<size_t>(y)];
        const int32_t first = std::max(span.first, 0);
        const int32_t last = std::min(span.last, lastColumn);
        if (first > last) {
            return;
        }
        const long double* factors =
            state.ShadingTable.data() + static_cast<size_t>(quadrantRow) * state.QuadrantSide;
        const uint8_t* source = background->Row(y);
        uint8_t* target = frame->Row(y);
        if (fixedPoint) {
            const DomeFactorRow& row = state.DomeFactorRows[static_cast<size_t>(quadrantRow)];
            if (!row.exact && first >= row.first && last < row.first + row.count &&
                last - first + 1 >= kDomeBlockPixels) {
                shadeSpan(state, row, factors, source, target, first, last);
                return;
            }
        }
        ShadeDomeExactly(state, factors, source, target, first, last);
    };
    // A quadrant row serves two frame rows, Diameter / 2 - i and its mirror image (one
    // row only in the middle of an even dial): they are shaded one after the other while
    // the row's factors are still in the cache.
    const int32_t half = state.Diameter / 2;
    for (int32_t quadrantRow = 0; quadrantRow <= half; ++quadrantRow) {
        const int32_t top = half - quadrantRow;
        const int32_t bottom = state.Diameter - top;
        if (top < rows) {
            shadeRow(top, quadrantRow);
        }
        if (bottom != top && bottom < rows) {
            shadeRow(bottom, quadrantRow);
        }
    }
}

void DrawMinuteMark(ClockState& state, int32_t offsetX, int32_t offsetY) {
    const int32_t beadRadius = MinuteMarkRadius(state);
    if (TDIB* frame = BeadFrame(state, beadRadius)) {
        const int64_t radius = state.Radius;
        DrawBead(*frame, MakeBead(state, beadRadius, false), radius + offsetX, radius + offsetY);
    }
}

void DrawNumeralDot(ClockState& state, int32_t x, int32_t y) {
    const int32_t beadRadius = NumeralDotRadius(state);
    if (TDIB* frame = BeadFrame(state, beadRadius)) {
        DrawBead(*frame, MakeBead(state, beadRadius, true), x, y);
    }
}

void DrawMinuteMarks(ClockState& state) {
    const int32_t beadRadius = MinuteMarkRadius(state);
    TDIB* frame = BeadFrame(state, beadRadius);
    if (frame == nullptr) {
        return;
    }
    const Bead bead = MakeBead(state, beadRadius, false);
    const int64_t radius = state.Radius;
    for (const auto& [offsetX, offsetY] : LayoutOf(state).marks) {
        DrawBead(*frame, bead, radius + offsetX, radius + offsetY);
    }
}

void DrawNumerals(ClockState& state) {
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
            DrawBead(*frame, bead, detail::ClampToInt32(x), detail::ClampToInt32(y));
        }
    }
}

void DrawDial(ClockState& state) {
    ShadeDialDome(state);
    DrawMinuteMarks(state);
    DrawNumerals(state);
}

} // namespace lumivane
