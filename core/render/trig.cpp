#include "core/render/trig.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

// A compiler whose long double is a plain double (MSVC) gets the C library's
// functions; its pixels can differ by one step on exact half-pixel boundaries.
#if LDBL_MANT_DIG != 64
namespace lumivane {
long double Cos(long double x) {
    return std::cos(x);
}
long double Sin(long double x) {
    return std::sin(x);
}
} // namespace lumivane
#else

#include "core/render/trig_tables.h"

// The reference these functions must reproduce bit for bit is the GNU C library's
// extended-precision cosl/sinl: the same reduction to [-pi/4, pi/4] as a head and a
// tail, and the same kernels evaluated with the same operations in the same order,
// since those results are not correctly rounded (about 2.5 % of arguments in [-10, 10]
// differ from the correctly rounded value in the last bit). Everything here is x87
// extended arithmetic or integer arithmetic, which rounds alike in every build as long
// as the x87 unit computes with a 64-bit significand.

namespace lumivane {
namespace {

static_assert(LDBL_MANT_DIG == 64 && LDBL_MAX_EXP == 16384, "needs the x87 80-bit format");

using trig::kSinCosTable;

// Below this magnitude the kernels take the argument as it is: top 32 significand bits
// at most 0xC90FDAA2 with the exponent of [0.5, 1), or a smaller exponent.
constexpr long double kDirectLimit = 0xC90FDAA3p-32L;
// Arguments below this magnitude are reduced with the four-part pi/2 (n < 2^16).
constexpr long double kShortReductionLimit = 0x1p16L;

// Kernel polynomials. Near zero (|x| < 0.1484375) one long polynomial each; elsewhere
// the argument is split into a table point h and a remainder |l| <= 1/256.
constexpr long double kCos1 = -0x8000000000000000p-64L;
constexpr long double kCos2 = 0xAAAAAAAAAAAAAAABp-68L;
constexpr long double kCos3 = -0xB60B60B60B60B60Bp-73L;
constexpr long double kCos4 = 0xD00D00D00D00D00Dp-79L;
constexpr long double kCos5 = -0x93F27DBBC4FAD541p-85L;
constexpr long double kCos6 = 0x8F76C77FC40E8F49p-92L;
constexpr long double kCos7 = -0xC9CBA4B49154B00Fp-100L;
constexpr long double kCos8 = 0xD72FC0CBE5E6E57Cp-108L;

constexpr long double kSin1 = -0xAAAAAAAAAAAAAAABp-66L;
constexpr long double kSin2 = 0x8888888888888889p-70L;
constexpr long double kSin3 = -0xD00D00D00D00D00Dp-76L;
constexpr long double kSin4 = 0xB8EF1D2AB6399C7Dp-82L;
constexpr long double kSin5 = -0xD7322B3FAA270B64p-89L;
constexpr long double kSin6 = 0xB092309D408A402Ap-96L;
constexpr long double kSin7 = -0xD73F9EAD779863DEp-104L;
constexpr long double kSin8 = 0xCA8808AD55FC3D67p-112L;

constexpr long double kShortCos1 = -0x8000000000000000p-64L;
constexpr long double kShortCos2 = 0xAAAAAAAAAAAAAAABp-68L;
constexpr long double kShortCos3 = -0xB60B60B60B60B60Bp-73L;
constexpr long double kShortCos4 = 0xD00D00D00CF7016Ep-79L;
constexpr long double kShortCos5 = -0x93F27AEE731BE586p-85L;

constexpr long double kShortSin1 = -0xAAAAAAAAAAAAAAABp-66L;
constexpr long double kShortSin2 = 0x8888888888888889p-70L;
constexpr long double kShortSin3 = -0xD00D00D00D00D00Dp-76L;
constexpr long double kShortSin4 = 0xB8EF1D2AB6320635p-82L;
constexpr long double kShortSin5 = -0xD73227748623EE39p-89L;

constexpr long double kTableStart = 0.1484375L;
constexpr long double kTableIndexBase = 0.1484375L - 1.0L / 256.0L;

// Below this the polynomials leave 1 (cosine) or x (sine) unchanged anyway.
constexpr long double kTiny = 0x1p-33L;

// Low bits of the significand: after adding kRoundingShift they hold the integer the sum
// rounded to.
std::uint32_t LowBits(long double x) {
    std::uint64_t significand = 0;
    std::memcpy(&significand, &x, sizeof significand);
    return static_cast<std::uint32_t>(significand);
}

// Adding 1.5 * 2^63 to a value well below 2^62 rounds it to an integer (to nearest).
constexpr long double kRoundingShift = 0x1.8p63L;

long double ShortSin(long double l, long double z) {
    return l * (1 + z * (kShortSin1 +
                         z * (kShortSin2 + z * (kShortSin3 + z * (kShortSin4 + z * kShortSin5)))));
}

long double ShortCosMinusOne(long double z) {
    return z *
           (kShortCos1 + z * (kShortCos2 + z * (kShortCos3 + z * (kShortCos4 + z * kShortCos5))));
}

// sin(x + y) or cos(x + y) for |x| <= about pi/4, y a tail far below x's last bit.
long double Kernel(long double x, long double y, bool sine) {
    const bool negative = x < 0;
    const long double ax = negative ? -x : x;
    if (ax < kTableStart) {
        // Near zero the tail is below every bit these polynomials keep.
        if (sine) {
            if (ax < kTiny) {
                return x;
            }
            const long double z = x * x;
            return x +
                   (x *
                    (z * (kSin1 +
                          z * (kSin2 +
                               z * (kSin3 +
                                    z * (kSin4 +
                                         z * (kSin5 + z * (kSin6 + z * (kSin7 + z * kSin8)))))))));
        }
        if (ax < kTiny) {
            return 1;
        }
        const long double z = ax * ax;
        return 1 +
               (z *
                (kCos1 +
                 z * (kCos2 +
                      z * (kCos3 +
                           z * (kCos4 + z * (kCos5 + z * (kCos6 + z * (kCos7 + z * kCos8))))))));
    }
    // ax = h + l with h = 0.1484375 + index/128 and |l| <= 1/256; index = trunc(v).
    const long double v = 128 * (ax - kTableIndexBase);
    const long double shifted = v + kRoundingShift;
    long double k = shifted - kRoundingShift;
    std::uint32_t index = LowBits(shifted);
    if (k > v) {
        k -= 1;
        --index;
    }
    const auto& t = kSinCosTable[index]; // cos head, cos tail, sin head, sin tail
    const long double h = kTableStart + k / 128;
    const long double l = (negative ? -y : y) - (h - ax);
    const long double z = l * l;
    const long double sinL = ShortSin(l, z);
    const long double cosLMinusOne = ShortCosMinusOne(z);
    if (sine) {
        const long double result = t[2] + (t[3] + (t[2] * cosLMinusOne) + (t[0] * sinL));
        return negative ? -result : result;
    }
    return t[0] + (t[1] - (t[2] * sinL - t[0] * cosLMinusOne));
}

// x - n pi/2 as head + tail, |head| <= pi/4, and n mod 4.
struct Reduced {
    long double head;
    long double tail;
    unsigned quadrant;
};

struct TwoTerms {
    long double head;
    long double tail;
};

// a + b exactly as a rounded sum and its error.
TwoTerms TwoSum(long double a, long double b) {
    const long double s = a + b;
    const long double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// a * b exactly as a rounded product and its error (Dekker, 32-bit halves).
TwoTerms TwoProduct(long double a, long double b) {
    constexpr long double kSplitter = 0x1p32L + 1;
    const long double ca = kSplitter * a;
    const long double aHigh = ca - (ca - a);
    const long double aLow = a - aHigh;
    const long double cb = kSplitter * b;
    const long double bHigh = cb - (cb - b);
    const long double bLow = b - bHigh;
    const long double p = a * b;
    return {p, (((aHigh * bHigh - p) + aHigh * bLow) + aLow * bHigh) + aLow * bLow};
}

bool Exceeds(const TwoTerms& r, long double boundHead, long double boundTail) {
    return r.head > boundHead || (r.head == boundHead && r.tail > boundTail);
}

// a + b exactly, for |a| >= |b|.
TwoTerms FastTwoSum(long double a, long double b) {
    const long double s = a + b;
    return {s, b - (s - a)};
}

// ax - n pi/2 for 0 <= n < 2^16: n times each of the first three parts is exact, and
// ax - n kHalfPi1 is exact because the two are within a factor of two.
[[gnu::always_inline]] inline TwoTerms ShortResidue(long double ax, long double n) {
    const long double r1 = ax - n * trig::kHalfPi1;
    const TwoTerms parts = FastTwoSum(n * trig::kHalfPi2, n * trig::kHalfPi3);
    const long double small = parts.tail + n * trig::kHalfPi4;
    const TwoTerms s = TwoSum(r1, -parts.head);
    return TwoSum(s.head, s.tail - small);
}

Reduced ReduceShort(long double ax) {
    const long double shifted = ax * trig::kTwoOverPi + kRoundingShift;
    unsigned quadrant = LowBits(shifted);
    long double n = shifted - kRoundingShift;
    TwoTerms r = ShortResidue(ax, n);
    // The product ax * 2/pi is rounded; near an odd multiple of pi/4 that can pick the
    // neighbouring n, which the exact residue shows.
    if (Exceeds(r, trig::kQuarterPiHi, trig::kQuarterPiLo)) {
        n += 1;
        ++quadrant;
        r = ShortResidue(ax, n);
    } else if (Exceeds({-r.head, -r.tail}, trig::kQuarterPiHi, trig::kQuarterPiLo)) {
        n -= 1;
        --quadrant;
        r = ShortResidue(ax, n);
    }
    return {r.head, r.tail, quadrant & 3u};
}

long double PowerOfTwo(int exponent) {
    const std::uint64_t significand = 0x8000000000000000u;
    const auto biased = static_cast<std::uint16_t>(exponent + 16383);
    long double value = 0;
    unsigned char bytes[sizeof(long double)] = {};
    std::memcpy(bytes, &significand, sizeof significand);
    std::memcpy(bytes + sizeof significand, &biased, sizeof biased);
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// Bits [position, position + 64) of a little-endian multi-word number; bits below 0 are 0.
template <std::size_t N> std::uint64_t Bits64(const std::uint32_t (&words)[N], int position) {
    std::uint64_t result = 0;
    for (int bit = 63; bit >= 0; --bit) {
        const int source = position + bit;
        result <<= 1;
        if (source >= 0 && source < static_cast<int>(32 * N) &&
            ((words[source / 32] >> (source % 32)) & 1u)) {
            result |= 1u;
        }
    }
    return result;
}

// Payne-Hanek reduction for 2^16 <= ax < infinity: ax times a window of 2/pi wide
// enough to keep at least 190 bits after the binary point, in integer arithmetic.
[[gnu::noinline]] Reduced ReduceLong(long double ax) {
    std::uint64_t significand = 0;
    std::uint16_t biased = 0;
    unsigned char bytes[sizeof(long double)];
    std::memcpy(bytes, &ax, sizeof ax);
    std::memcpy(&significand, bytes, sizeof significand);
    std::memcpy(&biased, bytes + sizeof significand, sizeof biased);
    const int exponent = (biased & 0x7FFF) - 16383; // ax = significand * 2^(exponent - 63)
    if ((significand >> 63) == 0 || exponent < 16) {
        // Only an invalid encoding (unnormal, pseudo-denormal) gets here.
        const long double nan = std::numeric_limits<long double>::quiet_NaN();
        return {nan, nan, 0};
    }

    // Words of 2/pi before `first` only add multiples of 8 to the product.
    constexpr int kWindow = 7;
    const int first = exponent >= 66 ? (exponent - 66) / 32 : 0;
    const std::uint32_t m[2] = {static_cast<std::uint32_t>(significand),
                                static_cast<std::uint32_t>(significand >> 32)};
    std::uint32_t window[kWindow];
    for (int k = 0; k < kWindow; ++k) {
        window[k] = trig::kTwoOverPiBits[static_cast<std::size_t>(first + kWindow - 1 - k)];
    }
    std::uint32_t product[kWindow + 2] = {};
    for (int i = 0; i < 2; ++i) {
        std::uint64_t carry = 0;
        for (int k = 0; k < kWindow; ++k) {
            const std::uint64_t t = std::uint64_t{m[i]} * window[k] + product[i + k] + carry;
            product[i + k] = static_cast<std::uint32_t>(t);
            carry = t >> 32;
        }
        product[i + kWindow] = static_cast<std::uint32_t>(carry);
    }

    // ax * 2/pi = product * 2^-fractionBits (mod 8).
    const int fractionBits = 63 + 32 * (first + kWindow) - exponent;
    auto bit = [&](int position) { return (product[position / 32] >> (position % 32)) & 1u; };
    unsigned quadrant = bit(fractionBits) | (bit(fractionBits + 1) << 1);
    // Keep only the fraction; from one half up, round n up and take 1 - fraction.
    const bool negative = bit(fractionBits - 1) != 0;
    for (int position = fractionBits; position < 32 * (kWindow + 2); ++position) {
        product[position / 32] &= ~(1u << (position % 32));
    }
    if (negative) {
        ++quadrant;
        std::uint64_t borrow = 0;
        for (auto& word : product) {
            const std::uint64_t t = std::uint64_t{0} - word - borrow;
            word = static_cast<std::uint32_t>(t);
            borrow = (t >> 32) & 1u;
        }
        for (int position = fractionBits; position < 32 * (kWindow + 2); ++position) {
            product[position / 32] &= ~(1u << (position % 32));
        }
    }
    int top = fractionBits - 1;
    while (top >= 0 && bit(top) == 0) {
        --top;
    }
    if (top < 0) {
        return {0, 0, quadrant & 3u};
    }
    const long double fractionHead =
        static_cast<long double>(Bits64(product, top - 63)) * PowerOfTwo(top - 63 - fractionBits);
    const long double fractionTail =
        static_cast<long double>(Bits64(product, top - 127)) * PowerOfTwo(top - 127 - fractionBits);
    const TwoTerms p = TwoProduct(fractionHead, trig::kHalfPiHi);
    const long double tail =
        p.tail + (fractionHead * trig::kHalfPiLo + fractionTail * trig::kHalfPiHi);
    const TwoTerms r = TwoSum(p.head, tail);
    return negative ? Reduced{-r.head, -r.tail, quadrant & 3u}
                    : Reduced{r.head, r.tail, quadrant & 3u};
}

// x - n pi/2 for finite |x| >= kDirectLimit, reduced on |x| and mirrored, as the
// reference does.
Reduced Reduce(long double x) {
    const long double ax = std::fabs(x);
    const Reduced r = ax < kShortReductionLimit ? ReduceShort(ax) : ReduceLong(ax);
    if (x < 0) {
        return {-r.head, -r.tail, (0u - r.quadrant) & 3u};
    }
    return r;
}

// cos(x) for shift 0, sin(x) = cos(x - pi/2) for shift 3.
long double Evaluate(long double x, unsigned shift) {
    Reduced r{x, 0, 0};
    if (!(std::fabs(x) < kDirectLimit)) {
        if (!std::isfinite(x)) {
            return x - x;
        }
        r = Reduce(x);
    }
    const unsigned quadrant = (r.quadrant + shift) & 3u;
    const long double value = Kernel(r.head, r.tail, (quadrant & 1u) != 0);
    return quadrant == 1 || quadrant == 2 ? -value : value;
}

} // namespace

long double Cos(long double x) {
    return Evaluate(x, 0);
}
long double Sin(long double x) {
    return Evaluate(x, 3);
}

} // namespace lumivane

#endif
