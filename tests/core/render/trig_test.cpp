// lumivane::Cos and lumivane::Sin must give, in every build, the bits the GNU C
// library's cosl/sinl give on x86-64 Linux for the renderers' arguments. Natively on
// glibc they are compared with the C library directly; every build compares them with
// the golden values taken from it (tests/data/trig_golden.inc).
//
// Regenerate the golden values on x86-64 glibc with
//   lumivane_unit_tests --gtest_also_run_disabled_tests --gtest_filter='TrigGolden.DISABLED_*'
// then clang-format -i tests/data/trig_golden.inc.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "core/render/precision.h"
#include "core/render/trig.h"

namespace {

#if defined(__GLIBC__) && defined(__x86_64__)
constexpr bool kGlibcReference = true;
#else
constexpr bool kGlibcReference = false;
#endif

// The renderers' constants.
constexpr long double kPi = 3.1415926535897932385L;
constexpr long double kTwoPi = 6.283185307179586477L;
constexpr long double kHalfPi = 0xC90FDAA22168C235p-63L;       // nearest to pi/2
constexpr long double kPiOver30 = 0xD6774F9BDF5EAD05p-67L;     // nearest to pi/30
constexpr long double kPiOver6 = 0x860A91C16B9B2C23p-64L;      // nearest to pi/6
constexpr long double kSpanHourMinute = 2.670353755551324253L; // 0.85 pi
constexpr long double kSpanSecond = 2.5132741228718345908L;    // 0.8 pi
constexpr long double kPhase = 2.042035224833365605L;          // 0.65 pi

// The longest hands (4320-pixel displays) go to about 3000.
constexpr int kLongestLength = 3000;

struct Bits {
    std::uint16_t signExponent;
    std::uint64_t significand;
    bool operator==(const Bits&) const = default;
};

Bits BitsOf(long double x) {
    Bits bits{};
    unsigned char bytes[sizeof(long double)];
    std::memcpy(bytes, &x, sizeof x);
    std::memcpy(&bits.significand, bytes, sizeof bits.significand);
    std::memcpy(&bits.signExponent, bytes + sizeof bits.significand, sizeof bits.signExponent);
    return bits;
}

long double FromBits(Bits bits) {
    unsigned char bytes[sizeof(long double)] = {};
    std::memcpy(bytes, &bits.significand, sizeof bits.significand);
    std::memcpy(bytes + sizeof bits.significand, &bits.signExponent, sizeof bits.signExponent);
    long double x = 0;
    std::memcpy(&x, bytes, sizeof x);
    return x;
}

std::string Hex(long double x) {
    const Bits bits = BitsOf(x);
    char text[64];
    std::snprintf(text, sizeof text, "0x%04X'%016llX", static_cast<unsigned>(bits.signExponent),
                  static_cast<unsigned long long>(bits.significand));
    return text;
}

::testing::AssertionResult SameBits(long double actual, long double expected) {
    if (BitsOf(actual) == BitsOf(expected)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << Hex(actual) << " instead of " << Hex(expected);
}

std::string Verdict(const ::testing::AssertionResult& result) {
    return result ? std::string("same") : std::string(result.message());
}

// The minute marks (A) and numerals (B), rotated so that 0 points up.
std::vector<long double> DialAngles() {
    std::vector<long double> angles;
    long double a = 0;
    for (int mark = 0; mark < 60; ++mark) {
        angles.push_back(a - kHalfPi);
        a = a + kPiOver30;
    }
    long double b = 0;
    for (int numeral = 0; numeral < 12; ++numeral) {
        angles.push_back(b - kHalfPi);
        b = b + kPiOver6;
    }
    return angles;
}

// Hour hand for every hour and minute, then minute and second hands.
std::vector<long double> HandAngles() {
    std::vector<long double> angles;
    for (int hour = 0; hour < 12; ++hour) {
        for (int minute = 0; minute < 60; ++minute) {
            angles.push_back(((static_cast<long double>(hour) * kPi) / 6 +
                              (static_cast<long double>(minute) * kPi) / 360) +
                             kPi);
        }
    }
    for (int minute = 0; minute < 60; ++minute) {
        angles.push_back((static_cast<long double>(minute) * kTwoPi) / 60 + kPi);
    }
    for (int second = 0; second < 60; ++second) {
        angles.push_back((static_cast<long double>(second) * kPi) / 30 + kPi);
    }
    return angles;
}

// (r s)/L + 0.65 pi for both spans, lengths firstLength..lastLength, r = 0..L.
void ForEachTaperArgument(int firstLength, int lastLength,
                          const std::function<void(long double)>& visit) {
    for (const long double span : {kSpanHourMinute, kSpanSecond}) {
        for (int length = firstLength; length <= lastLength; ++length) {
            for (int row = 0; row <= length; ++row) {
                visit((static_cast<long double>(row) * span) / static_cast<long double>(length) +
                      kPhase);
            }
        }
    }
}

// Reproducible in every build: the generator is fully specified and the scaling exact.
std::vector<long double> RandomArguments(int count) {
    std::mt19937_64 generator(20240611);
    std::vector<long double> arguments;
    for (int i = 0; i < count; ++i) {
        const auto raw = static_cast<std::int64_t>(generator());
        arguments.push_back(static_cast<long double>(raw) * 0x1p-63L * 10);
    }
    return arguments;
}

// The edges of the kernels' ranges and of the reduction.
std::vector<long double> EdgeArguments() {
    std::vector<long double> arguments = {
        0.0L,
        0x1p-40L,
        0x1p-33L,
        0xFFFFFFFFFFFFFFFFp-97L, // just below 2^-33
        0.1484375L,
        0x97FFFFFFFFFFFFFFp-66L, // just below 0.1484375
        0.19140625L,             // exactly on a table boundary
        0xC90FDAA2FFFFFFFFp-32L, // largest argument taken without reduction
        0xC90FDAA3p-32L,         // smallest argument reduced
        kHalfPi,
        kPi,
        3 * kHalfPi,
        kTwoPi,
        2 * kTwoPi,
        1000.0L,
        65535.75L,
    };
    const std::size_t count = arguments.size();
    for (std::size_t i = 0; i < count; ++i) {
        arguments.push_back(-arguments[i]);
    }
    return arguments;
}

std::uint64_t Checksum(std::uint64_t hash, long double value) {
    unsigned char bytes[sizeof(long double)];
    std::memcpy(bytes, &value, sizeof value);
    for (int i = 0; i < 10; ++i) {
        hash = (hash ^ bytes[i]) * 0x100000001B3u;
    }
    return hash;
}

constexpr std::uint64_t kChecksumStart = 0xCBF29CE484222325u;

std::uint64_t TaperChecksum(long double (*cosine)(long double)) {
    std::uint64_t hash = kChecksumStart;
    ForEachTaperArgument(1, kLongestLength,
                         [&](long double x) { hash = Checksum(hash, cosine(x)); });
    return hash;
}

long double LibmCos(long double x) {
    return std::cos(x);
}
long double LibmSin(long double x) {
    return std::sin(x);
}

struct GoldenPair {
    Bits x;
    Bits cos;
    Bits sin;
};
struct GoldenCos {
    Bits x;
    Bits cos;
};

#include "tests/data/trig_golden.inc"

// ---------------------------------------------------------------------------------------
// Against the C library (x86-64 glibc only).

void ExpectBothMatchLibm(const std::vector<long double>& arguments) {
    int mismatches = 0;
    for (const long double x : arguments) {
        const auto cosSame = SameBits(lumivane::Cos(x), LibmCos(x));
        const auto sinSame = SameBits(lumivane::Sin(x), LibmSin(x));
        if ((!cosSame || !sinSame) && ++mismatches <= 10) {
            ADD_FAILURE() << "x = " << Hex(x) << ": cos " << Verdict(cosSame) << ", sin "
                          << Verdict(sinSame);
        }
    }
    EXPECT_EQ(mismatches, 0);
}

// The golden values hold the dial and hand angles and every taper argument (as a
// checksum); the C library itself is asked about many more random arguments.
TEST(TrigAgainstLibm, RandomAndEdgeArgumentsMatchBitForBit) {
    if (!kGlibcReference) {
        GTEST_SKIP() << "the reference is x86-64 glibc";
    }
    ExpectBothMatchLibm(RandomArguments(20000));
    ExpectBothMatchLibm(EdgeArguments());
}

// ---------------------------------------------------------------------------------------
// Against the golden values (every build).

TEST(TrigGolden, DialHandRandomAndEdgeArgumentsMatch) {
    // Rounded to 53 bits instead, hardly any result would match.
    ASSERT_TRUE(lumivane::ExtendedPrecisionActive());
    ASSERT_GT(std::size(kGoldenPairs), 1000u);
    int mismatches = 0;
    for (const GoldenPair& golden : kGoldenPairs) {
        const long double x = FromBits(golden.x);
        const auto cosSame = SameBits(lumivane::Cos(x), FromBits(golden.cos));
        const auto sinSame = SameBits(lumivane::Sin(x), FromBits(golden.sin));
        if ((!cosSame || !sinSame) && ++mismatches <= 10) {
            ADD_FAILURE() << "x = " << Hex(x) << ": cos " << Verdict(cosSame) << ", sin "
                          << Verdict(sinSame);
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(TrigGolden, SampledTaperArgumentsMatch) {
    // Rounded to 53 bits instead, hardly any result would match.
    ASSERT_TRUE(lumivane::ExtendedPrecisionActive());
    ASSERT_GT(std::size(kGoldenTaperCos), 4000u);
    int mismatches = 0;
    for (const GoldenCos& golden : kGoldenTaperCos) {
        const long double x = FromBits(golden.x);
        const auto same = SameBits(lumivane::Cos(x), FromBits(golden.cos));
        if (!same && ++mismatches <= 10) {
            ADD_FAILURE() << "x = " << Hex(x) << ": " << same.message();
        }
    }
    EXPECT_EQ(mismatches, 0);
}

// The arguments themselves are computed here as the renderers compute them, so this also
// shows that the build forms them alike.
TEST(TrigGolden, GoldenArgumentsAreTheRenderersArguments) {
    std::vector<long double> expected = DialAngles();
    const std::vector<long double> hands = HandAngles();
    expected.insert(expected.end(), hands.begin(), hands.end());
    ASSERT_GE(std::size(kGoldenPairs), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_TRUE(SameBits(FromBits(kGoldenPairs[i].x), expected[i])) << "argument " << i;
    }
}

TEST(TrigGolden, EveryTaperArgumentOfEveryLengthMatches) {
    // Rounded to 53 bits instead, hardly any result would match.
    ASSERT_TRUE(lumivane::ExtendedPrecisionActive());
    EXPECT_EQ(TaperChecksum(lumivane::Cos), kGoldenTaperChecksum);
}

TEST(TrigGolden, DISABLED_Regenerate) {
    ASSERT_TRUE(kGlibcReference) << "the golden values come from x86-64 glibc";
    const std::string path = std::string(LUMIVANE_SOURCE_DIR) + "/tests/data/trig_golden.inc";
    std::FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr) << path;
    auto literal = [](long double x) {
        const Bits bits = BitsOf(x);
        char text[64];
        std::snprintf(text, sizeof text, "{0x%04X, 0x%016llX}",
                      static_cast<unsigned>(bits.signExponent),
                      static_cast<unsigned long long>(bits.significand));
        return std::string(text);
    };
    std::fprintf(file, "// Generated from x86-64 glibc cosl/sinl by TrigGolden.DISABLED_Regenerate"
                       " (tests/core/trig_test.cpp).\n"
                       "// Each value: {sign and exponent, significand} of the x87 format.\n\n");
    std::fprintf(file, "// Dial and numeral angles, hand angles, random arguments in [-10, 10] "
                       "and edge arguments: {x, cos x, sin x}.\n"
                       "constexpr GoldenPair kGoldenPairs[] = {\n");
    std::vector<long double> pairs = DialAngles();
    for (const auto& more : {HandAngles(), RandomArguments(256), EdgeArguments()}) {
        pairs.insert(pairs.end(), more.begin(), more.end());
    }
    for (const long double x : pairs) {
        std::fprintf(file, "{%s, %s, %s},\n", literal(x).c_str(), literal(LibmCos(x)).c_str(),
                     literal(LibmSin(x)).c_str());
    }
    std::fprintf(file, "};\n\n// Every 97th taper argument of lengths 1..640: {x, cos x}.\n"
                       "constexpr GoldenCos kGoldenTaperCos[] = {\n");
    long index = 0;
    ForEachTaperArgument(1, 640, [&](long double x) {
        if (index++ % 97 == 0) {
            std::fprintf(file, "{%s, %s},\n", literal(x).c_str(), literal(LibmCos(x)).c_str());
        }
    });
    std::fprintf(file,
                 "};\n\n// FNV-1a over the ten bytes of cos x for every taper argument of "
                 "lengths 1..%d.\n"
                 "constexpr std::uint64_t kGoldenTaperChecksum = 0x%016llXu;\n",
                 kLongestLength, static_cast<unsigned long long>(TaperChecksum(LibmCos)));
    EXPECT_EQ(std::fclose(file), 0);
}

// ---------------------------------------------------------------------------------------
// Properties that hold in every build, with expectations worked out independently.

TEST(TrigValues, ExactPointsGiveExactResults) {
    EXPECT_TRUE(SameBits(lumivane::Cos(0.0L), 1.0L));
    EXPECT_TRUE(SameBits(lumivane::Sin(0.0L), 0.0L));
    EXPECT_TRUE(SameBits(lumivane::Sin(-0.0L), -0.0L));
    EXPECT_TRUE(SameBits(lumivane::Cos(-0.0L), 1.0L));
    EXPECT_TRUE(SameBits(lumivane::Sin(kHalfPi), 1.0L));
    EXPECT_TRUE(SameBits(lumivane::Cos(kPi), -1.0L));
    EXPECT_TRUE(SameBits(lumivane::Cos(kTwoPi), 1.0L));
    // Tiny arguments: sin x = x and cos x = 1 to the last bit.
    EXPECT_TRUE(SameBits(lumivane::Sin(0x1p-40L), 0x1p-40L));
    EXPECT_TRUE(SameBits(lumivane::Cos(0x1p-40L), 1.0L));
}

// Near a multiple of pi/2 the result is the tiny difference to it, which shows the
// reduction carries pi/2 far beyond 64 bits. Values from 300-bit arithmetic.
TEST(TrigValues, ResultsNearZerosKeepEveryBit) {
    // sin(kPi) = pi - kPi = -5.0165576126683320235e-20
    EXPECT_TRUE(SameBits(lumivane::Sin(kPi), -0xECE675D1FC8F8CBBp-128L));
    // cos(kHalfPi) = pi/2 - kHalfPi
    EXPECT_TRUE(SameBits(lumivane::Cos(kHalfPi), -0xECE675D1FC8F8CBBp-129L));
    // cos(3 kHalfPi), 3 kHalfPi rounded to 0x96CBE3F9990E91A8p-61
    EXPECT_TRUE(SameBits(lumivane::Cos(3 * kHalfPi), 0xD8D66C2EBEB5D4C6p-126L));
}

TEST(TrigValues, CosineIsEvenAndSineOdd) {
    for (const long double x : RandomArguments(2000)) {
        ASSERT_TRUE(SameBits(lumivane::Cos(-x), lumivane::Cos(x))) << Hex(x);
        ASSERT_TRUE(SameBits(lumivane::Sin(-x), -lumivane::Sin(x))) << Hex(x);
    }
}

TEST(TrigValues, QuadrantsHaveTheRightSigns) {
    // Centres of the quadrants, one turn either way.
    for (int k = -8; k < 8; ++k) {
        const long double x = (k + 0.5L) * kHalfPi;
        const int quadrant = ((k % 4) + 4) % 4;
        EXPECT_EQ(lumivane::Cos(x) > 0, quadrant == 0 || quadrant == 3) << "k = " << k;
        EXPECT_EQ(lumivane::Sin(x) > 0, quadrant == 0 || quadrant == 1) << "k = " << k;
        EXPECT_NEAR(static_cast<double>(std::fabs(lumivane::Cos(x))), 0.70710678118654752, 1e-15);
    }
}

// Arguments far beyond the renderers' need the long reduction; within one unit in the
// last place of the value from 300-bit arithmetic.
TEST(TrigValues, HugeArgumentsStayAccurate) {
    struct Case {
        long double x;
        long double cos;
        long double sin;
    };
    const Case cases[] = {
        {0x1p16L, -0xB8CA298849445BE7p-64L, 0xB12B339ADC289A00p-64L},
        {1e22L, 0x85F167780E479C9Ap-64L, -0xDA29D5BB5F9CB87Dp-64L},
        {0x1p1000L, 0xFCBC28B06440A8BCp-64L, -0xA305C570E443726Dp-66L},
        {std::numeric_limits<long double>::max(), -0x800BBD0061D4F543p-66L,
         0xFDFD9D4B6D0E5F7Cp-64L},
    };
    for (const Case& c : cases) {
        const long double cosUlp = std::ldexp(1.0L, std::ilogb(c.cos) - 63);
        const long double sinUlp = std::ldexp(1.0L, std::ilogb(c.sin) - 63);
        EXPECT_LE(std::fabs(lumivane::Cos(c.x) - c.cos), cosUlp) << Hex(c.x);
        EXPECT_LE(std::fabs(lumivane::Sin(c.x) - c.sin), sinUlp) << Hex(c.x);
    }
}

TEST(TrigValues, NonFiniteArgumentsGiveNaN) {
    const long double inf = std::numeric_limits<long double>::infinity();
    const long double nan = std::numeric_limits<long double>::quiet_NaN();
    EXPECT_TRUE(std::isnan(lumivane::Cos(inf)));
    EXPECT_TRUE(std::isnan(lumivane::Sin(-inf)));
    EXPECT_TRUE(std::isnan(lumivane::Cos(nan)));
    EXPECT_TRUE(std::isnan(lumivane::Sin(nan)));
}

} // namespace
