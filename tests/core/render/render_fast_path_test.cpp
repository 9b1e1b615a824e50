// The renderers compute most pixels in fixed point or in double and fall back to
// extended precision only where a rounding could come out differently. These tests
// hold them against the rules as written, computed here in extended precision, over
// whole input domains where that is feasible and over structured samples elsewhere.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <span>
#include <vector>

#include "core/render/light_block.h"
#include "core/render/render.h"
#include "core/render/trig.h"
#include "tests/core/render/render_fixture.h"

using namespace lumivane;
using namespace lumivane::testing_support;

namespace {

// Round to nearest, ties to even (the unit's rounding mode), as a 64-bit integer.
int64_t RoundToInteger(long double value) {
    return static_cast<int64_t>(std::rint(value));
}

// The dome rule: min(255, low 16 bits of Round(byte x factor)).
uint8_t DomeAsWritten(int32_t byte, long double factor) {
    const auto stored = static_cast<uint16_t>(RoundToInteger(byte * factor));
    return static_cast<uint8_t>(stored > 255 ? 255 : stored);
}

// |Round(value)| limited to 255.
int32_t ChannelAsWritten(long double value) {
    const long double magnitude = std::fabs(std::rint(value));
    return magnitude > 255 ? 255 : static_cast<int32_t>(magnitude);
}

// The lighting rule, evaluated left to right in extended precision.
Colour LightingAsWritten(int32_t red, int32_t green, int32_t blue, long double weight) {
    const long double r = red;
    const long double g = green;
    const long double b = blue;
    const long double n = std::sqrt(r * r + g * g + b * b + 1);
    const long double l = (441 - n) / 1.7L;
    return {ChannelAsWritten(std::sqrt(l / 750 + r / 255) * l * weight + r + 0.05L * b),
            ChannelAsWritten(std::sqrt(l / 750 + g / 255) * l * weight + g + 0.05L * r),
            ChannelAsWritten(std::sqrt(l / 750 + b / 255) * l * weight + b - 0.05L * g)};
}

struct Sample {
    Colour colour;
    long double weight;
};

// Every value of one channel against every pair of grid values in the other two, at
// each weight.
std::vector<Sample> ChannelSweeps(std::span<const int32_t> grid,
                                  std::span<const long double> weights) {
    std::vector<Sample> samples;
    for (long double weight : weights) {
        for (int32_t swept = 0; swept < 3; ++swept) {
            for (int32_t value = 0; value < 256; ++value) {
                for (int32_t a : grid) {
                    for (int32_t b : grid) {
                        std::array<int32_t, 3> colour{};
                        colour[swept] = value;
                        colour[(swept + 1) % 3] = a;
                        colour[(swept + 2) % 3] = b;
                        samples.push_back({{colour[0], colour[1], colour[2]}, weight});
                    }
                }
            }
        }
    }
    return samples;
}

// Lights the samples the way the beads and hands do, in blocks side by side, and counts
// the results that differ from the rule as written.
template <size_t N> int64_t BatchMismatches(const std::vector<Sample>& samples) {
    detail::SampleBatch<N> batch;
    int64_t mismatches = 0;
    size_t flushed = 0;
    const auto check = [&](uint32_t i, const Colour* lit) {
        EXPECT_EQ(i, flushed) << "results come back in the order the samples went in";
        ++flushed;
        const Sample& sample = samples[i];
        const Colour expected = LightingAsWritten(sample.colour.red, sample.colour.green,
                                                  sample.colour.blue, sample.weight);
        // Without a result the caller takes ShadePixel, which has its own tests.
        mismatches += lit != nullptr && !(*lit == expected);
    };
    for (size_t i = 0; i < samples.size(); ++i) {
        const Sample& sample = samples[i];
        batch.Add(sample.colour.red, sample.colour.green, sample.colour.blue,
                  static_cast<double>(sample.weight), std::fabs(sample.weight) <= 8.0L,
                  static_cast<uint32_t>(i));
        if (batch.Full()) {
            batch.Flush(check);
        }
    }
    batch.Flush(check);
    EXPECT_EQ(flushed, samples.size());
    return mismatches;
}

void FillUniform(TDIB& buffer, uint8_t byte) {
    for (int32_t y = 0; y < buffer.Height(); ++y) {
        std::memset(buffer.Row(y), byte, static_cast<size_t>(buffer.WidthBytes()));
    }
}

struct DomeCase {
    int32_t diameter;
    int32_t bright;
    int32_t contrast;
};

// Every disc pixel of a uniform background of each byte value 0..255: every byte meets
// every factor of the table, in every channel.
void ExpectDomeAsWritten(const DomeCase& dome) {
    ClockState state = MakeClock(dome.diameter, dome.bright, dome.contrast);
    TDIB& frame = *state.FrameBuffer;
    const int32_t side = state.Diameter / 2 + 1;
    // What the rule gives for each quadrant entry and byte.
    std::vector<uint8_t> expected(static_cast<size_t>(side) * side * 256);
    for (int32_t i = 0; i < side; ++i) {
        for (int32_t j = 0; j < side; ++j) {
            const long double factor =
                state.ShadingTable[static_cast<size_t>(i) * state.QuadrantSide + j];
            for (int32_t byte = 0; byte < 256; ++byte) {
                expected[(static_cast<size_t>(i) * side + j) * 256 + byte] =
                    DomeAsWritten(byte, factor);
            }
        }
    }
    int64_t mismatches = 0;
    for (int32_t byte = 0; byte < 256; ++byte) {
        FillUniform(*state.BackgroundBuffer, static_cast<uint8_t>(byte));
        ShadeDialDome(state);
        for (int32_t y = 0; y < state.Diameter; ++y) {
            const DiscSpan span = state.DiscSpans[static_cast<size_t>(y)];
            const uint8_t* row = frame.Row(y);
            for (int32_t x = span.first; x <= span.last; ++x) {
                const size_t entry =
                    static_cast<size_t>(state.QuadrantIndex(y)) * side + state.QuadrantIndex(x);
                const uint8_t want = expected[entry * 256 + byte];
                mismatches +=
                    (row[3 * x] != want) + (row[3 * x + 1] != want) + (row[3 * x + 2] != want);
            }
        }
    }
    EXPECT_EQ(mismatches, 0) << "diameter " << dome.diameter << ", bright " << dome.bright
                             << ", contrast " << dome.contrast;
}

// A hand drawn for one time, checked sample by sample: the positions against the
// geometry as written, the colours against the lighting rule as written.
struct HandCase {
    void (*draw)(ClockState&);
    HandSampleTable ClockState::*samples;
    int32_t ClockState::*length;
    int32_t columns;
    long double acrossCentre;
    long double taperSpan;
};
const HandCase kHourHand{&DrawHourHand, &ClockState::HourSamples, &ClockState::HourHandLength, 19,
                         9.0L,          2.670353755551324253L};
const HandCase kMinuteHand{
    &DrawMinuteHand,      &ClockState::MinuteSamples, &ClockState::MinuteHandLength, 15, 7.0L,
    2.670353755551324253L};
const HandCase kSecondHand{
    &DrawSecondHand,       &ClockState::SecondSamples, &ClockState::SecondHandLength, 11, 5.5L,
    2.5132741228718345908L};

constexpr long double kPi = 3.1415926535897932385L;

long double HandAngleAsWritten(const ClockState& state, const HandCase& hand) {
    if (&hand == &kHourHand) {
        const int32_t h = state.Hour >= 12 ? state.Hour - 12 : state.Hour;
        return h * kPi / 6 + state.Minute * kPi / 360 + kPi;
    }
    if (&hand == &kMinuteHand) {
        return state.Minute * 6.283185307179586477L / 60 + kPi;
    }
    return state.Second * kPi / 30 + kPi;
}

uint16_t PlaceAsWritten(long double offset, uint16_t radius) {
    return static_cast<uint16_t>(static_cast<uint16_t>(RoundToInteger(offset)) + radius);
}

// Counts the samples whose position or colour differs from the rules.
int64_t HandMismatches(ClockState& state, const HandCase& hand) {
    hand.draw(state);
    const HandSampleTable& table = state.*hand.samples;
    const HandWorkTables& work = state.HandWork;
    const int32_t length = state.*hand.length;
    const long double theta = HandAngleAsWritten(state, hand);
    const long double cosTheta = Cos(theta);
    const long double sinTheta = Sin(theta);
    const long double widen = std::sqrt(static_cast<long double>(state.Thickness)) + 2.5L;
    const long double style = state.Algoritm + 5;
    const size_t index = &hand == &kHourHand ? 0 : &hand == &kMinuteHand ? 1 : 2;
    const HandProfile& weights = state.HandProfiles[index];
    int64_t mismatches = 0;
    for (int32_t r = 0; r <= length; ++r) {
        const long double taper = Cos(r * hand.taperSpan / length + 2.042035224833365605L);
        for (int32_t c = 0; c < hand.columns; ++c) {
            const long double across = taper * (c - hand.acrossCentre) * widen / style;
            const uint16_t x =
                PlaceAsWritten((cosTheta * across - sinTheta * r) / 1.4L, state.Radius);
            const uint16_t y =
                PlaceAsWritten((sinTheta * across + cosTheta * r) / 1.4L, state.Radius);
            mismatches += table.X(r, c) != x || table.Y(r, c) != y;
            const size_t at = HandWorkTables::At(r, c);
            const Colour lit = LightingAsWritten(work.sampleRed[at], work.sampleGreen[at],
                                                 work.sampleBlue[at], weights.Weight(r, c));
            mismatches += lit.red != work.shadedRed[at] || lit.green != work.shadedGreen[at] ||
                          lit.blue != work.shadedBlue[at];
        }
    }
    return mismatches;
}

void FillNoise(TDIB& buffer, uint32_t seed) {
    std::mt19937 random(seed);
    for (int32_t y = 0; y < buffer.Height(); ++y) {
        uint8_t* row = buffer.Row(y);
        for (int32_t x = 0; x < 3 * buffer.Width(); ++x) {
            row[x] = static_cast<uint8_t>(random());
        }
    }
}

} // namespace

TEST(DomeFastPath, GivesTheRuleForEveryByteAndEveryFactor) {
    for (const DomeCase& dome :
         {DomeCase{95, 30, 6}, DomeCase{96, 30, 6}, DomeCase{285, 30, 6}, DomeCase{300, 12, 15},
          DomeCase{151, 30, 15}, DomeCase{150, 1, 1}, DomeCase{285, 0, 6}, DomeCase{284, 30, 0},
          DomeCase{200, 45, 20}, DomeCase{333, 30, 6}}) {
        ExpectDomeAsWritten(dome);
    }
}

TEST(DomeFastPath, ProductsJustOffAHalfRoundAsWritten) {
    // 201 x (100.5 / 201 +- 2^-40) lies 201 x 2^-40 above or below 100.5: far closer to
    // the half than the fixed-point factors resolve, yet not on it.
    ClockState state = MakeClock(20);
    long double& above = state.ShadingTable[static_cast<size_t>(1) * state.QuadrantSide + 1];
    long double& below = state.ShadingTable[static_cast<size_t>(2) * state.QuadrantSide + 2];
    above = 100.5L / 201 + std::ldexp(1.0L, -40);
    below = 100.5L / 201 - std::ldexp(1.0L, -40);
    RefreshDomeFactors(state);
    Fill(*state.BackgroundBuffer, {201, 201, 201});
    ShadeDialDome(state);
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 11, 11), (Colour{101, 101, 101}));
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 12, 12), (Colour{100, 100, 100}));
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 8, 8), (Colour{100, 100, 100})); // mirror image
}

TEST(DomeFastPath, FactorsOutsideZeroToOneTakeTheRule) {
    ClockState state = MakeClock(40);
    const size_t entry = static_cast<size_t>(3) * state.QuadrantSide + 4;
    for (long double factor : {1.5L, -0.25L, 1.0L + std::ldexp(1.0L, -60)}) {
        state.ShadingTable[entry] = factor;
        RefreshDomeFactors(state);
        FillPattern(*state.BackgroundBuffer);
        ShadeDialDome(state);
        for (auto [x, y] : {std::pair{24, 23}, std::pair{16, 17}}) { // entry (3, 4)
            const Colour source = PixelAt(*state.BackgroundBuffer, x, y);
            EXPECT_EQ(
                PixelAt(*state.FrameBuffer, x, y),
                (Colour{DomeAsWritten(source.red, factor), DomeAsWritten(source.green, factor),
                        DomeAsWritten(source.blue, factor)}))
                << static_cast<double>(factor);
        }
    }
}

TEST(DomeFastPath, FactorsMadeForAnotherDiameterAreNotUsed) {
    ClockState state = MakeClock(60);
    state.ShadingTable[0] = 0.5L; // the centre of the 60-pixel dial
    // Made for 60; Diameter 59 has its own tables, not yet recomputed.
    state.Diameter = 59;
    Fill(*state.BackgroundBuffer, {100, 100, 100});
    Fill(*state.FrameBuffer, {1, 2, 3});
    ShadeDialDome(state);
    // Pixel (29, 29) of a 59-pixel dial is quadrant entry 0: the factor as it stands.
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 29, 29), (Colour{50, 50, 50}));
}

TEST(ShadePixelFastPath, GivesTheRuleOverChannelGridsAndWeights) {
    // Full sweeps of one channel against values of the other two that include the
    // extremes and the cross-term halves (0.05 x 10, 0.05 x 30, ...).
    const std::array<int32_t, 19> grid = {0,   1,   2,   9,   10,  11,  30,  50,  64, 100,
                                          127, 128, 170, 200, 230, 250, 253, 254, 255};
    // Bead cone factors at Bright 30, hand weights at both ends of the profile, zero,
    // the corners' small negatives, weights of settings beyond the track bars.
    const std::array<long double, 14> weights = {0.0L,
                                                 1.41L,
                                                 0.41L,
                                                 -0.0042135623730950488L,
                                                 0.22679491924311227L,
                                                 0.012L * 0.1L,
                                                 1.41L * 1.0049875621120890270L,
                                                 0.705L,
                                                 1.0L,
                                                 0.5L,
                                                 2.115L,
                                                 -0.25L,
                                                 7.99L,
                                                 1.0L / 3};
    int64_t mismatches = 0;
    for (const Sample& sample : ChannelSweeps(grid, weights)) {
        const Colour colour = sample.colour;
        mismatches += !(ShadePixel(colour.red, colour.green, colour.blue, sample.weight) ==
                        LightingAsWritten(colour.red, colour.green, colour.blue, sample.weight));
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(ShadePixelFastPath, GivesTheRuleForRandomColoursAndWeights) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int32_t> byte(0, 255);
    std::uniform_real_distribution<double> weight(-0.1, 1.5);
    int64_t mismatches = 0;
    for (int32_t i = 0; i < 400000; ++i) {
        const int32_t r = byte(random);
        const int32_t g = byte(random);
        const int32_t b = byte(random);
        const long double w = weight(random);
        mismatches += !(ShadePixel(r, g, b, w) == LightingAsWritten(r, g, b, w));
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(ShadePixelFastPath, ManyColoursAtWeightZero) {
    // Weight 0 leaves the cross terms alone, and they land on halves exactly: the rounding
    // of the extended rule decides. Every red and green, blue in steps of 7 (which meets
    // every residue of 20 that the halves depend on).
    int64_t mismatches = 0;
    for (int32_t r = 0; r < 256; ++r) {
        for (int32_t g = 0; g < 256; ++g) {
            for (int32_t b = 0; b < 256; b += 7) {
                mismatches += !(ShadePixel(r, g, b, 0.0L) == LightingAsWritten(r, g, b, 0.0L));
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(ShadePixelFastPath, WeightsBeyondTheFastRangeTakeTheRule) {
    for (long double weight : {8.5L, -9.0L, 1e6L, -1e30L}) {
        for (Colour colour : {Colour{0, 0, 0}, Colour{128, 64, 32}, Colour{255, 255, 255}}) {
            EXPECT_EQ(ShadePixel(colour.red, colour.green, colour.blue, weight),
                      LightingAsWritten(colour.red, colour.green, colour.blue, weight))
                << static_cast<double>(weight) << " " << colour.red;
        }
    }
}

TEST(HandFastPath, PositionsAndColoursFollowTheRulesAtEveryAngle) {
    struct Clock {
        int32_t diameter;
        int32_t algoritm;
        int32_t step; // of the hour hand's 720 angles, every step-th
    };
    for (const Clock clock : {Clock{95, 0, 1}, Clock{285, 0, 1}, Clock{285, 5, 3}, Clock{300, 2, 7},
                              Clock{1000, 0, 11}, Clock{2160, 4, 37}}) {
        ClockState state = MakeClock(clock.diameter);
        state.Algoritm = clock.algoritm;
        FillNoise(*state.FrameBuffer, static_cast<uint32_t>(clock.diameter));
        int64_t mismatches = 0;
        for (int32_t angle = 0; angle < 720; angle += clock.step) {
            state.Hour = static_cast<uint16_t>(angle / 60 + (angle % 2 == 0 ? 12 : 0));
            state.Minute = static_cast<uint16_t>(angle % 60);
            state.Second = static_cast<uint16_t>(angle % 60);
            mismatches += HandMismatches(state, kHourHand);
            if (angle < 60 * clock.step) {
                mismatches += HandMismatches(state, kMinuteHand);
                mismatches += HandMismatches(state, kSecondHand);
            }
        }
        EXPECT_EQ(mismatches, 0) << "diameter " << clock.diameter << ", algoritm "
                                 << clock.algoritm;
    }
}

TEST(HandFastPath, PositionsKeptFromFrameToFrameFollowEveryInput) {
    const auto drawHands = [](ClockState& state) {
        DrawHourHand(state);
        DrawMinuteHand(state);
        DrawSecondHand(state);
    };
    // Rows 0..length and the hand's columns; the rows beyond keep what they held.
    const auto sameSamples = [](const ClockState& a, const ClockState& b) {
        for (const HandCase* hand : {&kHourHand, &kMinuteHand, &kSecondHand}) {
            for (int32_t r = 0; r <= a.*hand->length; ++r) {
                for (int32_t c = 0; c < hand->columns; ++c) {
                    if ((a.*hand->samples).X(r, c) != (b.*hand->samples).X(r, c) ||
                        (a.*hand->samples).Y(r, c) != (b.*hand->samples).Y(r, c)) {
                        return false;
                    }
                }
            }
        }
        return true;
    };
    ClockState kept = MakeClock(300);
    kept.Hour = 3;
    kept.Minute = 17;
    kept.Second = 42;
    drawHands(kept);
    // One input changed at a time; each frame must show what a fresh clock shows.
    const std::vector<void (*)(ClockState&)> changes = {
        [](ClockState& s) { s.Second = 43; },
        [](ClockState& s) { s.Minute = 18; },
        [](ClockState& s) { s.Hour = 15; },
        [](ClockState& s) { s.Algoritm = 4; },
        [](ClockState& s) { s.Thickness = 2; },
        [](ClockState& s) { s.Radius = 140; },
        [](ClockState& s) { s.HourHandLength = 100; },
        [](ClockState& s) { s.SecondHandLength = 120; }};
    for (auto change : changes) {
        change(kept);
        drawHands(kept);
        ClockState fresh = MakeClock(300);
        fresh.Hour = kept.Hour;
        fresh.Minute = kept.Minute;
        fresh.Second = kept.Second;
        fresh.Algoritm = kept.Algoritm;
        fresh.Thickness = kept.Thickness;
        fresh.Radius = kept.Radius;
        fresh.HourHandLength = kept.HourHandLength;
        fresh.SecondHandLength = kept.SecondHandLength;
        drawHands(fresh);
        EXPECT_TRUE(sameSamples(kept, fresh));
    }
}

TEST(SampleBatchFastPath, GivesTheRuleOverChannelGridsAndWeights) {
    const std::array<int32_t, 12> grid = {0, 1, 9, 10, 30, 64, 127, 128, 200, 250, 254, 255};
    const std::array<long double, 9> weights = {
        0.0L,   1.41L, 0.41L,   -0.0042135623730950488L, 1.41L * 1.0049875621120890270L, 0.705L,
        -0.25L, 7.99L, 1.0L / 3};
    const std::vector<Sample> samples = ChannelSweeps(grid, weights);
    EXPECT_EQ(BatchMismatches<detail::kHandBlock>(samples), 0);
    EXPECT_EQ(BatchMismatches<detail::kBeadBlock>(samples), 0);
}

TEST(SampleBatchFastPath, HalvesAtWeightZeroAndPartBlocks) {
    // Weight 0 puts the cross terms on exact halves, where only the extended rounding
    // decides; odd batch lengths leave part of a block unused.
    std::vector<Sample> samples;
    for (int32_t r = 0; r < 256; r += 3) {
        for (int32_t g = 0; g < 256; ++g) {
            for (int32_t b = 0; b < 256; b += 11) {
                samples.push_back({{r, g, b}, 0.0L});
            }
        }
    }
    for (size_t length : {size_t{1}, size_t{3}, size_t{49}, size_t{65}, samples.size()}) {
        const std::vector<Sample> part(samples.begin(),
                                       samples.begin() + static_cast<ptrdiff_t>(length));
        EXPECT_EQ(BatchMismatches<detail::kHandBlock>(part), 0) << length;
        EXPECT_EQ(BatchMismatches<detail::kBeadBlock>(part), 0) << length;
    }
}

TEST(SampleBatchFastPath, WeightsBeyondTheFastRangeComeBackWithoutAResult) {
    detail::SampleBatch<detail::kBeadBlock> batch;
    batch.Add(128, 64, 32, 1e6, false, 0);
    batch.Add(128, 64, 32, 0.5, true, 1);
    batch.Add(255, 255, 255, -9.0, false, 2);
    std::vector<bool> withResult;
    batch.Flush([&](uint32_t, const Colour* lit) { withResult.push_back(lit != nullptr); });
    EXPECT_EQ(withResult, (std::vector<bool>{false, true, false}));
}
