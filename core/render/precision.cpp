#include "core/render/precision.h"

#include <cfloat>

namespace lumivane {

void UseExtendedPrecision() {
#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
    unsigned short control = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(control));
    // Precision control (bits 8-9) = 11: 64-bit significand; rounding (bits 10-11) = 00: nearest.
    control = static_cast<unsigned short>((control & ~0x0F00u) | 0x0300u);
    __asm__ __volatile__("fldcw %0" : : "m"(control));
#endif
}

bool ExtendedPrecisionActive() {
    volatile long double one = 1.0L;
    volatile long double tiny = LDBL_EPSILON;
    volatile long double sum = one + tiny;
    return LDBL_MANT_DIG >= 64 && sum != one;
}

} // namespace lumivane
