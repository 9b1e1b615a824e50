#include <gtest/gtest.h>

#include <climits>

#include "core/clock/hand_hit.h"
#include "tests/core/render/render_fixture.h"

using namespace lumivane;
using namespace lumivane::testing_support;

namespace {

// Radius 150, Thickness 4: hand lengths 125, 148 and 170; at 12:00:00 all three hands
// point straight up and share the pixels above the centre.
ClockState ClockAtNoon() {
    ClockState state = MakeClock(300);
    state.Hour = 12;
    RenderFrame(state);
    return state;
}

} // namespace

TEST(FindHandSample, FindsTheHourHandFirstWhereHandsOverlap) {
    ClockState state = ClockAtNoon();
    // (150, 61) is the hour hand's tip (row 125, column 9); the minute and second hands
    // pass there too.
    const auto hit = FindHandSample(state, 150, 61);
    ASSERT_TRUE(hit.has_value());
    EXPECT_EQ(hit->hand, Hand::Hour);
    EXPECT_EQ(state.HourSamples.X(hit->row, hit->column), 150);
    EXPECT_EQ(state.HourSamples.Y(hit->row, hit->column), 61);
}

TEST(FindHandSample, ReportsTheFirstSampleInRowThenColumnOrder) {
    ClockState state = ClockAtNoon();
    // The centre pixel: row 0 of the hour hand, whose columns 7..11 all land within a
    // pixel or two of it; the first of them in the order of the search is reported.
    const auto hit = FindHandSample(state, 150, 150);
    ASSERT_TRUE(hit.has_value());
    EXPECT_EQ(hit->hand, Hand::Hour);
    EXPECT_EQ(hit->row, 0);
    for (int32_t c = 0; c < hit->column; ++c) {
        EXPECT_FALSE(state.HourSamples.X(0, c) == 150 && state.HourSamples.Y(0, c) == 150);
    }
}

TEST(FindHandSample, ReachesBeyondTheShorterHands) {
    ClockState state = ClockAtNoon();
    // Only the second hand reaches 170 / 1.4 = 121 pixels above the centre.
    const auto hit =
        FindHandSample(state, state.SecondSamples.X(170, 5), state.SecondSamples.Y(170, 5));
    ASSERT_TRUE(hit.has_value());
    EXPECT_EQ(hit->hand, Hand::Second);
    EXPECT_GT(hit->row, state.MinuteHandLength); // rows 169 and 170 share the tip pixel
}

TEST(FindHandSample, NothingOffTheHands) {
    ClockState state = ClockAtNoon();
    for (auto [u, v] : {std::pair{1, 1}, std::pair{150, 200}, std::pair{60, 150},
                        std::pair{-1, 150}, std::pair{150, 70000}, std::pair{INT_MIN, INT_MAX}}) {
        EXPECT_FALSE(FindHandSample(state, u, v).has_value()) << u << "," << v;
    }
}

TEST(FindHandSample, LooksOnlyAtRowsUpToEachHandsLength) {
    ClockState state = ClockAtNoon();
    const uint16_t tipX = state.SecondSamples.X(170, 5);
    const uint16_t tipY = state.SecondSamples.Y(170, 5);
    state.SecondHandLength = 160; // rows beyond keep the old samples, which no one reads
    EXPECT_FALSE(FindHandSample(state, tipX, tipY).has_value());
    state.SecondHandLength = INT_MAX; // clipped to the table, not read past it
    EXPECT_TRUE(FindHandSample(state, tipX, tipY).has_value());
    state.HourHandLength = -1;
    state.MinuteHandLength = INT_MIN;
    EXPECT_EQ(FindHandSample(state, 150, 61)->hand, Hand::Second);
}

TEST(FindHandSample, LooksOnlyAtEachHandsOwnColumns) {
    ClockState state = ClockAtNoon();
    state.HourSamples.X(0, 19) = 50; // column 19 is beyond the hour hand's 0..18
    state.HourSamples.Y(0, 19) = 60;
    state.SecondSamples.X(0, 11) = 51; // column 11 is beyond the second hand's 0..10
    state.SecondSamples.Y(0, 11) = 60;
    EXPECT_FALSE(FindHandSample(state, 50, 60).has_value());
    EXPECT_FALSE(FindHandSample(state, 51, 60).has_value());
}

TEST(FindHandSample, EmptyTablesHaveNoSamples) {
    ClockState state;
    state.HourHandLength = 10;
    EXPECT_FALSE(FindHandSample(state, 0, 0).has_value());
}

TEST(MarkHandSamples, MarksExactlyWhereFindHandSampleHits) {
    ClockState state = ClockAtNoon();
    state.Hour = 4;
    state.Minute = 41;
    state.Second = 17;
    RenderFrame(state);
    std::vector<uint8_t> mask;
    MarkHandSamples(state, state.Diameter, state.Diameter, mask);
    ASSERT_EQ(mask.size(), static_cast<size_t>(state.Diameter) * state.Diameter);
    int32_t marked = 0;
    for (int32_t v = 0; v < state.Diameter; ++v) {
        for (int32_t u = 0; u < state.Diameter; ++u) {
            const bool onMask = mask[static_cast<size_t>(v) * state.Diameter + u] != 0;
            marked += onMask;
            // Every marked pixel, and a sparse grid of the rest, against the search itself.
            if (onMask || (u % 7 == 0 && v % 5 == 0)) {
                EXPECT_EQ(onMask, FindHandSample(state, u, v).has_value()) << u << "," << v;
            }
        }
    }
    EXPECT_GT(marked, 1000);
}

TEST(MarkHandSamples, LeavesOutSamplesBeyondASmallerFrame) {
    ClockState state = ClockAtNoon();
    std::vector<uint8_t> mask;
    MarkHandSamples(state, 151, 100, mask);
    ASSERT_EQ(mask.size(), 151u * 100u);
    EXPECT_EQ(mask[61 * 151 + 150], 1); // the hour hand's tip, as above
}
