#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "core/render/render.h"

using lumivane::Colour;
using lumivane::ShadePixel;

namespace {
constexpr Colour kBlack{0, 0, 0};
constexpr Colour kGrey{128, 128, 128};
constexpr Colour kWhite{255, 255, 255};

Colour Shade(Colour c, long double weight) {
    return ShadePixel(c.red, c.green, c.blue, weight);
}
} // namespace

TEST(ShadePixel, WorkedNumbersAtWeightZeroPointSevenOhFive) {
    EXPECT_EQ(Shade(kBlack, 0.705L), (Colour{107, 107, 107}));
    EXPECT_EQ(Shade(kGrey, 0.705L), (Colour{209, 209, 196}));
    EXPECT_EQ(Shade(kWhite, 0.705L), (Colour{255, 255, 242}));
}

TEST(ShadePixel, WeightZeroLeavesOnlyTheCrossChannelTint) {
    EXPECT_EQ(Shade(kWhite, 0), (Colour{255, 255, 242}));
    EXPECT_EQ(Shade(kBlack, 0), kBlack);
    // Blue -12.75 rounds to -13 and turns positive.
    EXPECT_EQ(Shade({0, 255, 0}, 0), (Colour{0, 255, 13}));
}

TEST(ShadePixel, HandWeights) {
    EXPECT_EQ(Shade(kBlack, 1), (Colour{152, 152, 152}));
    EXPECT_EQ(Shade(kGrey, 1), (Colour{240, 240, 228}));
    EXPECT_EQ(Shade(kBlack, 1.41L * std::sqrt(1.01L)), (Colour{215, 215, 215}));
    EXPECT_EQ(Shade(kWhite, 1.41L * std::sqrt(1.01L)), (Colour{255, 255, 242}));
}

TEST(ShadePixel, LiftsBlackMoreThanWhite) {
    const long double weight = 1;
    const Colour black = Shade(kBlack, weight);
    const Colour grey = Shade(kGrey, weight);
    const Colour white = Shade(kWhite, weight);
    EXPECT_GT(black.red - 0, grey.red - 128);
    EXPECT_GT(grey.red - 128, white.red - 255);
    EXPECT_EQ(white.red, 255);
}

TEST(ShadePixel, ResultsAboveTwoFiftyFiveAreCappedNotWrapped) {
    // Black at weight 1.7626 comes to 268: capped, not its low byte 12.
    EXPECT_EQ(Shade(kBlack, 1.7626L), (Colour{255, 255, 255}));
    // 253.9 is below the cap.
    EXPECT_EQ(Shade(kBlack, 1.67L), (Colour{254, 254, 254}));
    EXPECT_EQ(Shade({255, 0, 0}, 0.5L).red, 255); // 313.6
}

TEST(ShadePixel, NegativeResultsTurnPositive) {
    // -15.2 rounds to -15, whose absolute value is kept.
    EXPECT_EQ(Shade(kBlack, -0.1L), (Colour{15, 15, 15}));
    // -0.64 rounds to -1: the faint dark corner of a bead shows as 1.
    EXPECT_EQ(Shade(kBlack, -0.0042L), (Colour{1, 1, 1}));
}

TEST(ShadePixel, ExactHalvesGoToTheEvenNeighbour) {
    // At weight 0, red is r + b/20 and blue b - g/20: halves for b = 10 and g = 10.
    EXPECT_EQ(Shade({1, 0, 10}, 0), (Colour{2, 0, 10}));   // 1.5
    EXPECT_EQ(Shade({2, 0, 10}, 0), (Colour{2, 0, 10}));   // 2.5
    EXPECT_EQ(Shade({3, 0, 10}, 0), (Colour{4, 0, 10}));   // 3.5
    EXPECT_EQ(Shade({0, 10, 5}, 0), (Colour{0, 10, 4}));   // blue 4.5
    EXPECT_EQ(Shade({0, 10, 7}, 0), (Colour{0, 10, 6}));   // blue 6.5
    EXPECT_EQ(Shade({0, 10, 11}, 0), (Colour{1, 10, 10})); // red 0.55, blue 10.5
}

TEST(ShadePixel, NonsenseInputStillGivesChannelValues) {
    const long double nan = std::numeric_limits<long double>::quiet_NaN();
    const long double inf = std::numeric_limits<long double>::infinity();
    const Colour cases[] = {
        Shade({-1000, 5, 5}, 1),
        Shade({INT_MAX, INT_MAX, INT_MAX}, 1),
        Shade({INT_MIN, 0, INT_MAX}, 0.5L),
        Shade(kGrey, nan),
        Shade(kBlack, inf),
        Shade(kBlack, -inf),
        Shade(kGrey, 1e4000L),
    };
    for (const Colour& c : cases) {
        for (int32_t channel : {c.red, c.green, c.blue}) {
            EXPECT_GE(channel, 0);
            EXPECT_LE(channel, 255);
        }
    }
    EXPECT_EQ(Shade(kBlack, inf), (Colour{255, 255, 255}));
    EXPECT_EQ(Shade(kGrey, nan), kBlack);
}
