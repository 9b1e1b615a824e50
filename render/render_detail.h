#pragma once
// Helpers the renderers share: exact constants, safe conversions of extended
// results to integers, and raw pixel access.
#include <cmath>
#include <cstdint>
#include <limits>

#include "image/tdib.h"

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

// Round to nearest, ties to even, then the low 16 bits of that integer in two's
// complement. A NaN or infinity has no such bits; it gives 0xFFFF.
inline uint16_t RoundLow16(long double value) {
    if (!std::isfinite(value)) {
        return 0xFFFF;
    }
    const long double rounded = std::nearbyint(value);
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
    const long double rounded = std::nearbyint(value);
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

} // namespace lumivane::detail
