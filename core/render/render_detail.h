#pragma once
// Helpers the renderers share: exact constants, safe conversions of extended
// results to integers, raw pixel access, and the fast arithmetic of the lighting rule.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>

#include "core/image/tdib.h"
#include "core/render/render.h"

namespace lumivane::detail {

// Each is the extended value nearest to the named multiple of pi.
inline constexpr long double kPi = 3.1415926535897932385L;
inline constexpr long double kTwoPi = 6.283185307179586477L;
inline constexpr long double kHalfPi = 1.5707963267948966192313L;
inline constexpr long double kPiOver6 = 0.5235987755982988730771L;
inline constexpr long double kPiOver30 = 0.1047197551196597746154L;

// A buffer the renderers can work on: present, with pixels, 24 bits deep.
inline bool Drawable(const TDIB* buffer) {
    return buffer != nullptr && !buffer->Empty() && buffer->BitCount() == 24 &&
           buffer->Width() > 0 && buffer->Height() > 0;
}

// Round to nearest, ties to even, in the current rounding mode of the floating-point unit
// (nearest at all times here). Same value as std::nearbyint, without the cost of
// keeping the inexact flag, which nothing here reads.
inline long double RoundHalfEven(long double value) {
    return std::rint(value);
}

// Fast arithmetic with an exact fallback. A value computed in double instead of
// extended precision by the same formula differs from it by far less than this
// (callers keep their error below 1e-11); so unless the double value lies within
// kNearHalf of a half, both round to the same integer. Near a half, the caller
// computes the value again in extended precision.
inline constexpr double kNearHalf = 1e-9;

// Fast rounding of estimates below 2^30 in magnitude: Round(estimate), ties to even.
// The result is sure when the estimate's distance from it (OffRounding) stays below
// kSureOff; otherwise the estimate lies within kNearHalf of a half.
inline long RoundEstimate(double estimate) {
    return std::lrint(estimate);
}
inline double OffRounding(double estimate, long rounded) {
    return std::fabs(estimate - static_cast<double>(rounded));
}
inline constexpr double kSureOff = 0.5 - kNearHalf;

// Round to nearest, ties to even, then the low 16 bits of that integer in two's
// complement. A NaN or infinity has no such bits; it gives 0xFFFF.
inline uint16_t RoundLow16(long double value) {
    if (!std::isfinite(value)) {
        return 0xFFFF;
    }
    const long double rounded = RoundHalfEven(value);
    if (std::fabs(rounded) < 2147483648.0L) {
        return static_cast<uint16_t>(static_cast<int32_t>(rounded));
    }
    // Beyond 32 bits the remainder is still exact.
    long double rest = std::fmod(rounded, 65536.0L);
    if (rest < 0) {
        rest += 65536.0L;
    }
    return static_cast<uint16_t>(rest);
}

// Round to nearest, ties to even, limited to the 32-bit range; NaN gives 0. Only
// positions far off every buffer are limited, and they stay off it.
inline int32_t RoundToInt32(long double value) {
    const long double rounded = RoundHalfEven(value);
    if (std::isnan(rounded)) {
        return 0;
    }
    if (rounded <= static_cast<long double>(std::numeric_limits<int32_t>::min())) {
        return std::numeric_limits<int32_t>::min();
    }
    if (rounded >= static_cast<long double>(std::numeric_limits<int32_t>::max())) {
        return std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(rounded);
}

inline int32_t ClampToInt32(int64_t value) {
    if (value < std::numeric_limits<int32_t>::min()) {
        return std::numeric_limits<int32_t>::min();
    }
    if (value > std::numeric_limits<int32_t>::max()) {
        return std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(value);
}

// The three bytes of a 24-bit pixel, in the buffer's order blue, green, red.
inline void WritePixel(uint8_t* row, int32_t x, int32_t red, int32_t green, int32_t blue) {
    uint8_t* pixel = row + 3 * static_cast<ptrdiff_t>(x);
    pixel[0] = static_cast<uint8_t>(blue);
    pixel[1] = static_cast<uint8_t>(green);
    pixel[2] = static_cast<uint8_t>(red);
}

// The lighting rule (ShadePixel) is worked out in double (render/light_block.h), with
// the rule as written in extended precision wherever a channel lands near a half.
//
// For bytes and |weight| <= 8 every term stays below 3000 and both square roots are
// taken of at least 0.06, so each of the dozen operations adds at most about
// 3000 x 2^-52 and a channel is off its exact value by far less than 1e-11.

inline bool IsByte(int32_t value) {
    return value >= 0 && value <= 255;
}

// The weights for which the double computation keeps its error bound.
inline bool FastWeight(long double weight) {
    return std::fabs(weight) <= 8.0L;
}

// The rule as written, in extended precision.
Colour ShadePixelExactly(int32_t red, int32_t green, int32_t blue, long double weight);

// The pixels the dome shades: the frame rows it reaches and in each the columns on the
// disc. No rows when the dome cannot be drawn.
class DomeArea {
  public:
    explicit DomeArea(const ClockState& state);
    int32_t Rows() const { return rows_; }
    // Empty (first > last) for rows it does not reach.
    DiscSpan Row(int32_t y) const;
    bool Covers(int32_t x, int32_t y) const {
        const DiscSpan span = Row(y);
        return x >= span.first && x <= span.last;
    }

  private:
    const ClockState& state_;
    int32_t rows_ = 0;
    int32_t lastColumn_ = -1;
};

// The passes of a frame, drawing only the pixels in `only`'s marked tiles where given.
// Each pass reads and writes pixel by pixel, so the pixels it draws come out as in the
// whole pass.
void ShadeDome(ClockState& state, const TileMask* only);
void DrawBeads(ClockState& state, const TileMask& only);
// Hands by index, 0 to 2: hour, minute, second.
inline constexpr size_t kHandCount = 3;
// Places the hand's samples for the current time; true when they were placed anew.
bool PlaceHandSamples(ClockState& state, size_t hand);
// Lights the hand's placed samples.
void DrawPlacedHand(ClockState& state, size_t hand, const TileMask& only);

// The frame pixels that the beads light, and that a placed hand lights.
void VisitBeadPixels(ClockState& state, const std::function<void(int32_t, int32_t)>& visit);
void VisitHandPixels(ClockState& state, size_t hand,
                     const std::function<void(int32_t, int32_t)>& visit);

} // namespace lumivane::detail
