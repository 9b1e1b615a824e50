#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "core/clock/clock_state.h"
#include "core/clock/placement.h"
#include "core/render/render_detail.h"

using namespace lumivane;

namespace {

std::unique_ptr<TDIB> PlainBuffer() {
    return std::make_unique<TDIB>();
}

ClockState StartedState(int32_t size, int32_t bright, int32_t contrast, Display display) {
    ClockState state;
    state.Size = size;
    state.Bright = bright;
    state.Contrast = contrast;
    DeriveStartupState(state, display, &PlainBuffer);
    return state;
}

} // namespace

TEST(ClockStateRounding, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(ScreenScaleFor(625), 12); // 12.5
    EXPECT_EQ(ScreenScaleFor(675), 14); // 13.5
    EXPECT_EQ(ScreenScaleFor(768), 15);
    EXPECT_EQ(ScreenScaleFor(1024), 20);
    EXPECT_EQ(ScreenScaleFor(49), 1);
    EXPECT_EQ(ScreenScaleFor(25), 0); // 0.5
    EXPECT_EQ(RoundQuotient(-5, 2), -2);
    EXPECT_EQ(RoundQuotient(-7, 2), -4);
    EXPECT_EQ(detail::RoundHalfEven(2.5L), 2.0L);
    EXPECT_EQ(detail::RoundHalfEven(3.5L), 4.0L);
    EXPECT_EQ(detail::RoundHalfEven(-0.5L), 0.0L);
}

TEST(ClockStateDiameter, CappedByTheDisplayHeight) {
    EXPECT_EQ(DiameterFor(19, 15, 768), 285);
    EXPECT_EQ(DiameterFor(50, 15, 768), 750);
    EXPECT_EQ(DiameterFor(50, 14, 700), 700); // reaches the height
    EXPECT_EQ(DiameterFor(50, 20, 1024), 1000);
    EXPECT_EQ(DiameterFor(50, 22, 1080), 1080);
    EXPECT_EQ(DiameterFor(100000, 15, 768), 768);
    EXPECT_EQ(DiameterFor(INT_MAX, 86, 4320), 4320);
    EXPECT_EQ(DiameterFor(INT_MIN, 86, 4320), INT_MIN);
    EXPECT_EQ(DiameterFor(-3, 15, 768), -45);
}

TEST(ClockStateGeometry, ThicknessStepsEveryHundredPixels) {
    const auto thickness = [](int32_t height) {
        return StartedState(50, 30, 6, {height, height}).Thickness;
    };
    EXPECT_EQ(thickness(99), 1);
    EXPECT_EQ(thickness(100), 2);
    EXPECT_EQ(thickness(199), 2);
    EXPECT_EQ(thickness(499), 5);
    EXPECT_EQ(thickness(500), 6);
    EXPECT_EQ(thickness(1000), 6);
}

TEST(ClockStateGeometry, HandLengthsRoundExactHalvesToEven) {
    // Diameter 110: Radius 55, Thickness 2; 55 x 1.1 = 60.5 -> 60.
    ClockState state = StartedState(1, 30, 6, {5500, 5500});
    EXPECT_EQ(state.Radius, 55);
    EXPECT_EQ(state.HourHandLength, 60 - 20);
    EXPECT_EQ(state.MinuteHandLength, 69 - 20); // 68.75
    EXPECT_EQ(state.SecondHandLength, 77 - 20); // 77.0
    // Diameter 12: Radius 6, Thickness 1; 6 x 1.25 = 7.5 -> 8.
    state = StartedState(1, 30, 6, {600, 600});
    EXPECT_EQ(state.MinuteHandLength, 8 - 10);
    // The 300-pixel clock of the worked hand examples.
    state = StartedState(20, 30, 6, {768, 768});
    EXPECT_EQ(state.Diameter, 300);
    EXPECT_EQ(state.Radius, 150);
    EXPECT_EQ(state.Thickness, 4);
    EXPECT_EQ(state.HourHandLength, 125);
    EXPECT_EQ(state.MinuteHandLength, 148);
    EXPECT_EQ(state.SecondHandLength, 170);
}

TEST(ClockStateStartup, FirstStartOn1366x768) {
    ClockState state;
    ApplyFirstStartDefaults(state, {1366, 768});
    EXPECT_EQ(state.Bright, 30);
    EXPECT_EQ(state.Size, 19);
    EXPECT_EQ(state.Algoritm, 0);
    EXPECT_EQ(state.Contrast, 6);
    EXPECT_EQ(state.ScreenScale, 15);
    EXPECT_EQ(state.Diameter, 285);
    EXPECT_EQ(state.SavedLeft, 540); // Round(683 - 142.5)
    EXPECT_EQ(state.SavedTop, 0);
    DeriveStartupState(state, {1366, 768}, &PlainBuffer);
    EXPECT_EQ(state.PrevDiameter, 285);
    EXPECT_EQ(state.Radius, 142);
    EXPECT_EQ(state.FrameBuffer->Width(), 285);
    EXPECT_EQ(state.BackgroundBuffer->Height(), 285);
    EXPECT_EQ(FrameIntervalRule(state.Size), 200);
    for (int32_t y = 0; y < 285; ++y) {
        const uint8_t* row = state.FrameBuffer->ScanLine(y);
        for (int32_t i = 0; i < 3 * 285; ++i) {
            ASSERT_EQ(row[i], 0) << "frame starts black";
        }
    }
}

TEST(ClockStateStartup, StartCountSaturatesAtTwoAndCountsUpFromNegative) {
    EXPECT_EQ(NextStartCount(0), 1);
    EXPECT_EQ(NextStartCount(1), 2);
    EXPECT_EQ(NextStartCount(2), 2);
    EXPECT_EQ(NextStartCount(77), 2);
    EXPECT_EQ(NextStartCount(-1), 0);
    EXPECT_EQ(NextStartCount(INT_MAX), 2);
    EXPECT_EQ(NextStartCount(INT_MIN), INT_MIN + 1);
}

TEST(ClockStateStartup, FrameIntervalFollowsTheSize) {
    for (auto [size, interval] : {std::pair{5, 100},
                                  {15, 100},
                                  {16, 200},
                                  {20, 200},
                                  {21, 250},
                                  {25, 250},
                                  {26, 500},
                                  {30, 500},
                                  {31, 1000},
                                  {50, 1000},
                                  {INT_MIN, 100},
                                  {INT_MAX, 1000}}) {
        EXPECT_EQ(FrameIntervalRule(size), interval) << "size " << size;
    }
}

TEST(ClockStateTables, OddDiameterCentreLiesBetweenPixels) {
    ClockState state = StartedState(19, 30, 6, {1366, 768}); // Diameter 285, centre 142.5
    EXPECT_EQ(state.Distance(142, 142), std::sqrt(0.5L));
    EXPECT_EQ(state.Distance(142, 142), state.Distance(142, 143));
    EXPECT_EQ(state.Distance(0, 142), std::sqrt(142.5L * 142.5L + 0.25L));
    // Distance 142.5009 lies beyond Radius 142: no disc; one row lower it is inside.
    EXPECT_LT(state.DiscSpans[0].last, state.DiscSpans[0].first) << "row 0 lies outside";
    EXPECT_EQ(state.DiscSpans[1].first, 131); // offset 11.5: distance 141.97
    EXPECT_EQ(state.DiscSpans[1].last, 153 + 1);
}

TEST(ClockStateTables, DomeFactorAtCentreAndRim) {
    ClockState state = StartedState(20, 30, 6, {768, 768}); // Diameter 300, centre on pixel 150
    EXPECT_EQ(state.Distance(150, 150), 0.0L);
    EXPECT_NEAR(static_cast<double>(state.Shading(150, 150)), 1 - 1.00005 * 0.2, 1e-9);
    EXPECT_EQ(state.Distance(150, 0), 150.0L);
    EXPECT_NEAR(static_cast<double>(state.Shading(150, 0)), 1 - 0.01 * 0.2, 1e-12);
    EXPECT_EQ(state.Shading(150, 0), state.Shading(0, 150)) << "symmetric";
    EXPECT_EQ(state.Shading(100, 120), state.Shading(200, 180)) << "symmetric";
}

TEST(ClockStateTables, BrightOrContrastZeroLeavesFactorOne) {
    for (auto [bright, contrast] : {std::pair{0, 6}, {30, 0}}) {
        ClockState state = StartedState(19, bright, contrast, {1366, 768});
        for (int32_t y = 0; y < state.Diameter; y += 7) {
            for (int32_t x = state.DiscSpans[y].first; x <= state.DiscSpans[y].last; ++x) {
                ASSERT_EQ(state.Shading(x, y), 1.0L);
            }
        }
    }
}

TEST(ClockStateTables, RecomputeShadingFollowsTheFactors) {
    ClockState state = StartedState(19, 30, 6, {1366, 768});
    const long double before = state.Shading(142, 142);
    state.Contrast = 15;
    state.ContrastFactor = state.Contrast / 30.0L;
    RecomputeShading(state);
    EXPECT_LT(state.Shading(142, 142), before);
    EXPECT_NEAR(static_cast<double>(state.Shading(142, 142)), 0.5012, 0.0005);
}

TEST(ClockStateTables, GeometryGrowsAndShrinksWithoutTouchingTheBuffers) {
    ClockState state = StartedState(19, 30, 6, {1920, 1080}); // Diameter 19 x 22 = 418
    EXPECT_EQ(state.Diameter, 418);
    state.Size = 50;
    RecomputeGeometry(state, 1080);
    EXPECT_EQ(state.Diameter, 1080) << "a tall display gets its full clock";
    EXPECT_EQ(state.Radius, 540);
    EXPECT_EQ(state.PrevDiameter, 418);
    EXPECT_EQ(state.FrameBuffer->Width(), 418);
    EXPECT_EQ(state.Distance(0, 540), 540.0L);
    EXPECT_GE(state.HourSamples.Rows(), state.HourHandLength + 1);
    EXPECT_GE(state.SecondSamples.Rows(), state.SecondHandLength + 1);
    state.Size = 5;
    RecomputeGeometry(state, 1080);
    EXPECT_EQ(state.Diameter, 110);
    EXPECT_EQ(state.Thickness, 2);
}

TEST(ClockStateTables, SizesOutOfRangeGiveEmptyBuffersAndNoTables) {
    for (int32_t size : {0, -3, INT_MIN}) {
        ClockState state = StartedState(size, 30, 6, {1366, 768});
        EXPECT_LE(state.Diameter, 0);
        EXPECT_TRUE(state.FrameBuffer->Empty());
        EXPECT_TRUE(state.BackgroundBuffer->Empty());
    }
    ClockState huge = StartedState(INT_MAX, INT_MIN, INT_MAX, {1366, 768});
    EXPECT_EQ(huge.Diameter, 768);
    EXPECT_TRUE(std::isfinite(huge.Shading(384, 384)));
}

TEST(ClockPlacement, EdgeKeepingStepsBackOnceAndSavesOnlyAMove) {
    const Rect display{0, 0, 1366, 768};
    EXPECT_EQ(KeepInside({100, 100}, 285, 285, display), (Place{100, 100}));
    EXPECT_EQ(KeepInside({-40, 3}, 285, 285, display), (Place{-38, 5}));
    EXPECT_EQ(KeepInside({1077, 479}, 285, 285, display), (Place{1075, 477}));
    // Too big for the margin on both sides: one step each way cancels out.
    EXPECT_EQ(KeepInside({3, 0}, 1366, 768, display), (Place{3, 0}));
    ClockState state;
    state.SavedLeft = 10;
    state.SavedTop = 20;
    EXPECT_FALSE(MovedFromSavedPlace(state, {10, 20}));
    EXPECT_TRUE(MovedFromSavedPlace(state, {10, 21}));
    state.Diameter = 285;
    state.SavedLeft = INT_MIN;
    EXPECT_EQ(StartPlace(state, std::span(&display, 1), 0), (Place{5, 20}));
}
