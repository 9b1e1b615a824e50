#include <algorithm>
#include <array>
#include <cmath>

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

constexpr int32_t kMaxBeadSamples = 1 + 8 + 16 + 24; // rings 0 to 3

struct BeadSample {
    int32_t x = 0;
    int32_t y = 0;
    Colour colour;
};

void DrawBead(ClockState& state, int64_t centreX, int64_t centreY, int32_t beadRadius,
              bool softenDiagonals) {
    TDIB* frame = state.FrameBuffer.get();
    if (!Drawable(frame) || state.Diameter <= 0 || beadRadius < 0) {
        return;
    }
    const int32_t rings = std::min(beadRadius, 3);
    const int32_t width = frame->Width();
    const int32_t height = frame->Height();
    const long double bright = state.BrightFactor;
    const long double radius = beadRadius;
    frame->ScanLine(0); // lets pending platform drawing reach the pixels

    std::array<BeadSample, kMaxBeadSamples> samples;
    int32_t count = 0;
    for (int32_t ring = 0; ring <= rings; ++ring) {
        const int32_t positions = ring == 0 ? 1 : 8 * ring;
        for (int32_t k = 0; k < positions; ++k) {
            const int32_t dx = state.RingOffsetX[ring][k];
            const int32_t dy = state.RingOffsetY[ring][k];
            int64_t x = centreX + dx;
            int64_t y = centreY + dy;
            if (x < 0 || x >= width) {
                x = 0;
            }
            if (y < 0 || y >= height) {
                y = 0;
            }
            const uint8_t* pixel = frame->Row(static_cast<int32_t>(y)) + 3 * x;

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
            samples[count++] = {static_cast<int32_t>(x), static_cast<int32_t>(y),
                                ShadePixel(pixel[2], pixel[1], pixel[0], weight)};
        }
    }
    // Written only after every sample is read: a bead never lights its own result.
    for (int32_t i = 0; i < count; ++i) {
        const BeadSample& sample = samples[i];
        detail::WritePixel(frame->Row(sample.y), sample.x, sample.colour.red, sample.colour.green,
                           sample.colour.blue);
    }
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
    background->ScanLine(0); // lets the screen copy reach the pixels
    frame->ScanLine(0);

    const long double* shading = state.ShadingTable.data();
    for (int32_t y = 0; y < rows; ++y) {
        const DiscSpan span = state.DiscSpans[static_cast<size_t>(y)];
        const int32_t first = std::max(span.first, 0);
        const int32_t last = std::min(span.last, lastColumn);
        if (first > last) {
            continue;
        }
        const long double* shadingRow =
            shading + static_cast<size_t>(state.QuadrantIndex(y)) * state.QuadrantSide;
        const uint8_t* source = background->Row(y);
        uint8_t* target = frame->Row(y);
        for (int32_t x = first; x <= last; ++x) {
            const long double factor = shadingRow[state.QuadrantIndex(x)];
            const ptrdiff_t at = 3 * static_cast<ptrdiff_t>(x);
            target[at] = DomeChannel(source[at], factor);
            target[at + 1] = DomeChannel(source[at + 1], factor);
            target[at + 2] = DomeChannel(source[at + 2], factor);
        }
    }
}

void DrawMinuteMark(ClockState& state, int32_t offsetX, int32_t offsetY) {
    const int64_t radius = state.Radius;
    DrawBead(state, radius + offsetX, radius + offsetY, std::min(state.Thickness / 3, 3), false);
}

void DrawNumeralDot(ClockState& state, int32_t x, int32_t y) {
    DrawBead(state, x, y, std::min(state.Thickness / 2, 3), true);
}

void DrawDial(ClockState& state) {
    ShadeDialDome(state);
    if (!Drawable(state.FrameBuffer.get()) || state.Diameter <= 0) {
        return;
    }
    const int64_t radius = state.Radius;
    const int64_t thickness = state.Thickness;

    const long double markReach = static_cast<long double>(radius - thickness);
    // Accumulated rather than multiplied: the marks that land on a half pixel
    // fall where the summed angle puts them.
    long double markAngle = 0;
    for (int32_t mark = 0; mark < 60; ++mark) {
        const int32_t offsetX = detail::RoundToInt32(Cos(markAngle - detail::kHalfPi) * markReach);
        const int32_t offsetY = detail::RoundToInt32(Sin(markAngle - detail::kHalfPi) * markReach);
        DrawMinuteMark(state, offsetX, offsetY);
        markAngle = markAngle + detail::kPiOver30;
    }

    const long double numeralReach = static_cast<long double>(radius - 6 * thickness);
    const int64_t half = thickness / 2;
    long double numeralAngle = 0;
    for (const std::span<const GlyphDot> glyph : NumeralGlyphs) {
        const int64_t anchorX =
            detail::RoundToInt32(Cos(numeralAngle - detail::kHalfPi) * numeralReach);
        const int64_t anchorY =
            detail::RoundToInt32(Sin(numeralAngle - detail::kHalfPi) * numeralReach);
        numeralAngle = numeralAngle + detail::kPiOver6;
        for (const GlyphDot& dot : glyph) {
            const int64_t nudgeX = dot.nudgeX + dot.nudgeXHalf * half;
            const int64_t x = radius + anchorX + dot.a * thickness + nudgeX;
            const int64_t y = radius + anchorY + dot.b * thickness + dot.nudgeY;
            DrawNumeralDot(state, detail::ClampToInt32(x), detail::ClampToInt32(y));
        }
    }
}

} // namespace lumivane
