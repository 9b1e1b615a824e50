#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <map>
#include <optional>
#include <vector>

#include "core/render/render.h"
#include "tests/core/render/render_fixture.h"

using namespace lumivane;
using namespace lumivane::testing_support;

namespace {

constexpr Colour kBlack{0, 0, 0};

// Radius 150, Thickness 4, Algoritm 0: hand lengths 125, 148 and 170.
ClockState ClockAt(int32_t hour, int32_t minute, int32_t second, int32_t bright = 30) {
    ClockState state = MakeClock(300, bright);
    state.Hour = static_cast<uint16_t>(hour);
    state.Minute = static_cast<uint16_t>(minute);
    state.Second = static_cast<uint16_t>(second);
    Fill(*state.FrameBuffer, kBlack);
    return state;
}

using Point = std::pair<int32_t, int32_t>;

Point At(const HandSampleTable& table, int32_t r, int32_t c) {
    return {table.X(r, c), table.Y(r, c)};
}

struct Hand {
    void (*draw)(ClockState&);
    HandSampleTable ClockState::*samples;
    int32_t ClockState::*length;
    int32_t columns;
    int32_t centre;
};
const Hand kHour{&DrawHourHand, &ClockState::HourSamples, &ClockState::HourHandLength, 19, 9};
const Hand kMinute{&DrawMinuteHand, &ClockState::MinuteSamples, &ClockState::MinuteHandLength, 15,
                   7};
const Hand kSecond{&DrawSecondHand, &ClockState::SecondSamples, &ClockState::SecondHandLength, 11,
                   5};

size_t Work(int32_t r, int32_t c) {
    return HandWorkTables::At(r, c);
}

// Fills the work tables with values no renderer produces.
void MarkWorkTables(ClockState& state) {
    HandWorkTables& work = state.HandWork;
    std::fill(work.sampleRed.begin(), work.sampleRed.end(), 777);
    std::fill(work.shadedRed.begin(), work.shadedRed.end(), -7);
}

} // namespace

TEST(HandGeometry, HourHandAtTwelve) {
    for (int32_t hour : {12, 0}) {
        ClockState state = ClockAt(hour, 0, 0);
        DrawHourHand(state);
        const HandSampleTable& t = state.HourSamples;
        EXPECT_EQ(At(t, 0, 0), (Point{147, 150}));
        EXPECT_EQ(At(t, 0, 9), (Point{150, 150}));
        EXPECT_EQ(At(t, 0, 18), (Point{153, 150}));
        EXPECT_EQ(At(t, 7, 9), (Point{150, 145}));
        EXPECT_EQ(At(t, 51, 0), (Point{144, 114}));
        EXPECT_EQ(At(t, 51, 18), (Point{156, 114}));
        EXPECT_EQ(At(t, 125, 9), (Point{150, 61}));
    }
}

TEST(HandGeometry, HourHandAtThree) {
    ClockState state = ClockAt(3, 0, 0);
    DrawHourHand(state);
    const HandSampleTable& t = state.HourSamples;
    EXPECT_EQ(At(t, 0, 0), (Point{150, 147}));
    EXPECT_EQ(At(t, 7, 9), (Point{155, 150}));
    EXPECT_EQ(At(t, 51, 0), (Point{186, 144}));
    EXPECT_EQ(At(t, 125, 9), (Point{239, 150}));
}

TEST(HandGeometry, SecondHandAtZeroSitsHalfAColumnOffItsAxis) {
    ClockState state = ClockAt(10, 10, 0);
    DrawSecondHand(state);
    const HandSampleTable& t = state.SecondSamples;
    EXPECT_EQ(At(t, 0, 0), (Point{148, 150}));
    EXPECT_EQ(At(t, 0, 5), (Point{150, 150}));
    EXPECT_EQ(At(t, 0, 10), (Point{151, 150}));
    EXPECT_EQ(At(t, 170, 0), (Point{149, 29}));
    EXPECT_EQ(At(t, 170, 10), (Point{150, 29}));
}

TEST(HandGeometry, TurnsClockwiseWithTheTime) {
    // The tip of the minute hand, row 148 of the centre column, 105.7 pixels out.
    const std::pair<int32_t, Point> tips[] = {
        {0, {150, 44}}, {15, {256, 150}}, {30, {150, 256}}, {45, {44, 150}}};
    for (auto [minute, tip] : tips) {
        ClockState state = ClockAt(4, minute, 0);
        DrawMinuteHand(state);
        EXPECT_EQ(At(state.MinuteSamples, 148, 7), tip) << minute;
    }
}

TEST(HandGeometry, HourFifteenIsThreeAndZeroIsTwelve) {
    for (auto [a, b] : {std::pair{15, 3}, std::pair{0, 12}, std::pair{23, 11}}) {
        ClockState one = ClockAt(a, 40, 0);
        ClockState other = ClockAt(b, 40, 0);
        DrawHourHand(one);
        DrawHourHand(other);
        EXPECT_EQ(one.HourSamples.x, other.HourSamples.x) << a;
        EXPECT_EQ(one.HourSamples.y, other.HourSamples.y) << a;
    }
}

TEST(HandGeometry, FollowsOnlyTheFieldsThatTurnIt) {
    ClockState early = ClockAt(4, 20, 0);
    ClockState late = ClockAt(4, 20, 45);
    ClockState nextMinute = ClockAt(4, 21, 0);
    for (ClockState* s : {&early, &late, &nextMinute}) {
        DrawHourHand(*s);
        DrawMinuteHand(*s);
    }
    EXPECT_EQ(early.MinuteSamples.x, late.MinuteSamples.x);
    EXPECT_EQ(early.MinuteSamples.y, late.MinuteSamples.y);
    EXPECT_EQ(early.HourSamples.x, late.HourSamples.x);
    EXPECT_EQ(early.HourSamples.y, late.HourSamples.y);
    // Half a degree per minute moves the hour hand's tip.
    EXPECT_NE(At(early.HourSamples, 125, 9), At(nextMinute.HourSamples, 125, 9));
}

TEST(HandGeometry, SamplesStayWellInsideTheDial) {
    for (int32_t diameter : {20, 57, 99, 100, 150, 285, 300, 499, 500, 777, 1001}) {
        ClockState clock = MakeClock(diameter);
        for (int32_t algoritm : {0, 5}) {
            for (auto [hour, minute, second] :
                 {std::tuple{0, 0, 0}, std::tuple{4, 37, 22}, std::tuple{19, 52, 45}}) {
                ClockState& state = clock;
                state.Algoritm = algoritm;
                state.Hour = static_cast<uint16_t>(hour);
                state.Minute = static_cast<uint16_t>(minute);
                state.Second = static_cast<uint16_t>(second);
                DrawHourHand(state);
                DrawMinuteHand(state);
                DrawSecondHand(state);
                for (const Hand* hand : {&kHour, &kMinute, &kSecond}) {
                    const HandSampleTable& t = state.*hand->samples;
                    for (int32_t r = 0; r <= state.*hand->length; ++r) {
                        for (int32_t c = 0; c < hand->columns; ++c) {
                            const long double dx =
                                t.X(r, c) - static_cast<long double>(state.Radius);
                            const long double dy =
                                t.Y(r, c) - static_cast<long double>(state.Radius);
                            ASSERT_LE(std::sqrt(dx * dx + dy * dy), state.Radius - 6)
                                << "diameter " << diameter << " algoritm " << algoritm;
                        }
                    }
                }
            }
        }
    }
}

TEST(HandShading, ProfileWeights) {
    ClockState state = ClockAt(12, 0, 0);
    RenderFrame(state);
    DrawMinuteHand(state); // L = 148
    const HandProfile* weights = &state.HandProfiles[1];
    const auto p = [&weights](int32_t r, int32_t c) { return weights->Weight(r, c); };
    EXPECT_NEAR(p(74, 7), 1.41703L, 1e-5L); // 1.41 x sqrt(1.01) in the middle
    EXPECT_NEAR(p(0, 7), 0.141L, 1e-9L);    // one tenth at the root
    EXPECT_NEAR(p(148, 7), 0.141L, 1e-9L);  // and at the tip
    EXPECT_NEAR(p(0, 0), 0.0012L, 1e-9L);   // 0.012 at the edge columns
    EXPECT_NEAR(p(0, 14), 0.0012L, 1e-9L);
    EXPECT_NEAR(p(74, 6), 1.040571L * 1.004988L, 1e-5L); // column 6 of 14
    for (int32_t r = 0; r <= 148; ++r) {
        for (int32_t c = 0; c < 15; ++c) {
            ASSERT_GE(p(r, c), 0.0L);
            ASSERT_LE(p(r, c), p(74, 7));
        }
    }

    DrawHourHand(state); // L = 125
    weights = &state.HandProfiles[0];
    EXPECT_NEAR(p(0, 1), 0.0145333L, 1e-6L);
    EXPECT_NEAR(p(0, 2), 0.0278667L, 1e-6L);
    EXPECT_NEAR(p(0, 8), 0.1078667L, 1e-6L);
    EXPECT_NEAR(p(0, 10), 0.1078667L, 1e-6L);

    DrawSecondHand(state); // L = 170
    weights = &state.HandProfiles[2];
    const long double columns[] = {0.012L, 0.252L, 0.492L, 0.732L, 0.972L};
    for (int32_t c = 0; c < 5; ++c) {
        EXPECT_NEAR(p(85, c), columns[c] * std::sqrt(1.01L), 1e-9L) << c;
        EXPECT_NEAR(p(85, 10 - c), columns[c] * std::sqrt(1.01L), 1e-9L) << c;
    }
    EXPECT_NEAR(p(85, 5), 1.41L * std::sqrt(1.01L), 1e-9L);
}

TEST(HandShading, WeightsScaleWithBrightness) {
    ClockState full = ClockAt(12, 0, 0, 30);
    ClockState half = ClockAt(12, 0, 0, 15);
    DrawSecondHand(full);
    DrawSecondHand(half);
    const HandProfile& halfWeights = half.HandProfiles[2];
    const HandProfile& fullWeights = full.HandProfiles[2];
    EXPECT_NEAR(halfWeights.Weight(85, 5), fullWeights.Weight(85, 5) / 2, 1e-12L);
    EXPECT_NEAR(halfWeights.Weight(40, 2), fullWeights.Weight(40, 2) / 2, 1e-12L);
}

TEST(HandShading, CentreOfAnEvenHandLightsBlackTo215) {
    ClockState state = ClockAt(7, 13, 0);
    DrawMinuteHand(state);
    const HandWorkTables& w = state.HandWork;
    EXPECT_EQ(w.sampleRed[Work(74, 7)], 0);
    EXPECT_EQ(w.shadedRed[Work(74, 7)], 215);
    EXPECT_EQ(w.shadedGreen[Work(74, 7)], 215);
    EXPECT_EQ(w.shadedBlue[Work(74, 7)], 215);
}

TEST(HandShading, WhiteStaysWhiteApartFromTheTint) {
    for (const Hand* hand : {&kHour, &kMinute, &kSecond}) {
        ClockState state = ClockAt(2, 50, 33);
        Fill(*state.FrameBuffer, {255, 255, 255});
        hand->draw(state);
        const HandWorkTables& w = state.HandWork;
        for (int32_t r = 0; r <= state.*hand->length; ++r) {
            for (int32_t c = 0; c < hand->columns; ++c) {
                const size_t at = Work(r, c);
                ASSERT_EQ((Colour{w.shadedRed[at], w.shadedGreen[at], w.shadedBlue[at]}),
                          (Colour{255, 255, 242}));
            }
        }
    }
}

TEST(HandShading, BrightZeroOnlyTints) {
    ClockState state = ClockAt(9, 5, 40, 0);
    Fill(*state.BackgroundBuffer, kBlack);
    RenderFrame(state); // black: nothing shows
    for (int32_t y = 0; y < 300; ++y) {
        for (int32_t x = 0; x < 300; ++x) {
            ASSERT_EQ(PixelAt(*state.FrameBuffer, x, y), kBlack);
        }
    }
    Fill(*state.FrameBuffer, {0, 255, 0});
    DrawHourHand(state);
    const Point p = At(state.HourSamples, 60, 9);
    EXPECT_EQ(PixelAt(*state.FrameBuffer, p.first, p.second), (Colour{0, 255, 13}));
}

TEST(HandShading, EverySampleReadsThePictureBeforeTheHand) {
    for (const Hand* hand : {&kHour, &kMinute, &kSecond}) {
        ClockState state = ClockAt(5, 41, 17);
        FillPattern(*state.FrameBuffer);
        ClockState before = ClockAt(5, 41, 17);
        FillPattern(*before.FrameBuffer);
        hand->draw(state);
        const HandSampleTable& t = state.*hand->samples;
        const HandWorkTables& w = state.HandWork;
        for (int32_t r = 0; r <= state.*hand->length; ++r) {
            for (int32_t c = 0; c < hand->columns; ++c) {
                const Colour original = PixelAt(*before.FrameBuffer, t.X(r, c), t.Y(r, c));
                const size_t at = Work(r, c);
                ASSERT_EQ((Colour{w.sampleRed[at], w.sampleGreen[at], w.sampleBlue[at]}), original)
                    << r << "," << c;
            }
        }
    }
}

TEST(HandShading, LaterWritesWinWhereSamplesSharePixels) {
    for (const Hand* hand : {&kHour, &kMinute, &kSecond}) {
        ClockState state = ClockAt(8, 23, 51);
        FillPattern(*state.FrameBuffer);
        hand->draw(state);
        const HandSampleTable& t = state.*hand->samples;
        const HandWorkTables& w = state.HandWork;
        // Which sample shows at each pixel: of the clockwise half (columns above the
        // centre column) the lowest column, highest row; otherwise the highest row,
        // highest column.
        std::map<Point, std::pair<int32_t, int32_t>> shown;
        int32_t sharedByBothHalves = 0;
        for (int32_t r = 0; r <= state.*hand->length; ++r) {
            for (int32_t c = 0; c < hand->columns; ++c) {
                const Point p = At(t, r, c);
                const auto found = shown.find(p);
                if (found == shown.end()) {
                    shown[p] = {r, c};
                    continue;
                }
                auto& [sr, sc] = found->second;
                const bool clockwise = c > hand->centre;
                const bool shownClockwise = sc > hand->centre;
                if (clockwise != shownClockwise) {
                    ++sharedByBothHalves;
                }
                if (clockwise && (!shownClockwise || c < sc || (c == sc && r > sr))) {
                    found->second = {r, c};
                } else if (!clockwise && !shownClockwise && (r > sr || (r == sr && c > sc))) {
                    found->second = {r, c};
                }
            }
        }
        EXPECT_GT(sharedByBothHalves, 0);
        for (const auto& [p, rc] : shown) {
            const size_t at = Work(rc.first, rc.second);
            ASSERT_EQ(PixelAt(*state.FrameBuffer, p.first, p.second),
                      (Colour{w.shadedRed[at], w.shadedGreen[at], w.shadedBlue[at]}))
                << "pixel " << p.first << "," << p.second;
        }
    }
}

TEST(HandShading, CrossingHandsLightAgain) {
    // At 12:00:00 all three hands point up; the pixel 40 rows above the centre lies on
    // each. A dim setting keeps the three lifts below the cap.
    ClockState state = ClockAt(12, 0, 0, 4);
    const Point shared{150, 110};
    auto lands = [&](const HandSampleTable& t, int32_t length, int32_t columns) {
        std::vector<std::pair<int32_t, int32_t>> found;
        for (int32_t r = 0; r <= length; ++r) {
            for (int32_t c = 0; c < columns; ++c) {
                if (At(t, r, c) == shared) {
                    found.push_back({r, c});
                }
            }
        }
        return found;
    };
    DrawHourHand(state);
    const int32_t afterHour = PixelAt(*state.FrameBuffer, 150, 110).red;
    DrawMinuteHand(state);
    const int32_t afterMinute = PixelAt(*state.FrameBuffer, 150, 110).red;
    const auto minuteSamples = lands(state.MinuteSamples, 148, 15);
    ASSERT_FALSE(minuteSamples.empty());
    for (auto [r, c] : minuteSamples) {
        EXPECT_EQ(state.HandWork.sampleRed[Work(r, c)], afterHour);
    }
    DrawSecondHand(state);
    const int32_t afterSecond = PixelAt(*state.FrameBuffer, 150, 110).red;
    const auto secondSamples = lands(state.SecondSamples, 170, 11);
    ASSERT_FALSE(secondSamples.empty());
    for (auto [r, c] : secondSamples) {
        EXPECT_EQ(state.HandWork.sampleRed[Work(r, c)], afterMinute);
    }
    EXPECT_GT(afterHour, 0);
    EXPECT_GT(afterMinute, afterHour);
    EXPECT_GT(afterSecond, afterMinute);
}

TEST(HandShading, LengthZeroOrNegativeDrawsNothing) {
    for (int32_t length : {0, -1, -125, INT_MIN}) {
        ClockState state = ClockAt(2, 10, 0);
        MarkWorkTables(state);
        const std::vector<uint16_t> x = state.HourSamples.x;
        state.HourHandLength = length;
        DrawHourHand(state);
        EXPECT_EQ(state.HourSamples.x, x);
        EXPECT_EQ(state.HandWork.shadedRed[Work(0, 9)], -7);
        for (int32_t y = 0; y < 300; ++y) {
            for (int32_t xx = 0; xx < 300; ++xx) {
                ASSERT_EQ(PixelAt(*state.FrameBuffer, xx, y), kBlack);
            }
        }
    }
}

TEST(HandShading, RowsBeyondTheTablesAreLeftOut) {
    ClockState state = ClockAt(2, 10, 0);
    const int32_t rows = state.SecondSamples.Rows();
    state.SecondHandLength = 100000; // longer than any table: drawn up to the tables' end
    state.HourHandLength = INT_MAX;
    DrawSecondHand(state);
    DrawHourHand(state);
    EXPECT_EQ(state.SecondSamples.Rows(), rows);
}

TEST(HandShading, SamplesOffTheFrameAreNeitherReadNorWritten) {
    ClockState state = ClockAt(12, 0, 0);
    state.FrameBuffer->SetSize(150, 150); // the top-left quarter of the dial
    Fill(*state.FrameBuffer, kBlack);
    MarkWorkTables(state);
    DrawHourHand(state);
    const HandSampleTable& t = state.HourSamples;
    const HandWorkTables& w = state.HandWork;
    int32_t inside = 0;
    for (int32_t r = 0; r <= 125; ++r) {
        for (int32_t c = 0; c < 19; ++c) {
            const bool off = t.X(r, c) >= 150 || t.Y(r, c) >= 150;
            inside += !off;
            ASSERT_EQ(w.sampleRed[Work(r, c)] == 777, off) << r << "," << c;
            ASSERT_EQ(w.shadedRed[Work(r, c)] == -7, off) << r << "," << c;
        }
    }
    EXPECT_GT(inside, 0);
    EXPECT_EQ(At(t, 125, 9), (Point{150, 61})); // recorded although off the frame
}

TEST(HandShading, NonFiniteSamplesAreMarkedAndSkipped) {
    // Algoritm -5 divides by zero; a negative Thickness has no square root.
    for (auto [algoritm, thickness] : {std::pair{-5, 4}, std::pair{0, -1}, std::pair{-5, -9}}) {
        ClockState state = ClockAt(3, 30, 15);
        state.Algoritm = algoritm;
        state.Thickness = thickness;
        MarkWorkTables(state);
        DrawHourHand(state);
        DrawMinuteHand(state);
        DrawSecondHand(state);
        for (const Hand* hand : {&kHour, &kMinute, &kSecond}) {
            const HandSampleTable& t = state.*hand->samples;
            for (int32_t r = 0; r <= state.*hand->length; ++r) {
                for (int32_t c = 0; c < hand->columns; ++c) {
                    ASSERT_EQ(At(t, r, c), (Point{0xFFFF, 0xFFFF})) << r << "," << c;
                }
            }
        }
        EXPECT_EQ(state.HandWork.shadedRed[Work(10, 3)], -7);
        for (int32_t y = 0; y < 300; ++y) {
            for (int32_t x = 0; x < 300; ++x) {
                ASSERT_EQ(PixelAt(*state.FrameBuffer, x, y), kBlack);
            }
        }
    }
}

TEST(HandShading, StyleOutOfRange) {
    // Algoritm -6 divides by -1: the hand of Algoritm -4 mirrored across its axis.
    ClockState wide = ClockAt(12, 0, 0);
    ClockState mirrored = ClockAt(12, 0, 0);
    wide.Algoritm = -4;
    mirrored.Algoritm = -6;
    DrawHourHand(wide);
    DrawHourHand(mirrored);
    for (int32_t r = 0; r <= 125; ++r) {
        for (int32_t c = 0; c < 19; ++c) {
            ASSERT_EQ(wide.HourSamples.X(r, c) - 150, 150 - mirrored.HourSamples.X(r, c));
            ASSERT_EQ(wide.HourSamples.Y(r, c), mirrored.HourSamples.Y(r, c));
        }
    }
    // The widest row spans about 5 x 11.6 pixels.
    EXPECT_GT(wide.HourSamples.X(51, 18) - wide.HourSamples.X(51, 0), 50);

    // Algoritm INT_MAX does not overflow when 5 is added: the hand shrinks to its axis.
    for (int32_t algoritm : {INT_MAX, INT_MIN}) {
        ClockState thin = ClockAt(12, 0, 0);
        thin.Algoritm = algoritm;
        RenderFrame(thin);
        for (int32_t r = 0; r <= 125; ++r) {
            for (int32_t c = 0; c < 19; ++c) {
                ASSERT_EQ(thin.HourSamples.X(r, c), 150);
            }
        }
    }
}

TEST(HandShading, ThicknessOutOfRange) {
    for (int32_t thickness : {0, 1, 3, 5, 7, 99, 1000000, INT_MAX}) {
        ClockState state = ClockAt(10, 8, 42);
        FillPattern(*state.BackgroundBuffer);
        state.Thickness = thickness;
        RenderFrame(state); // far samples wrap in 16 bits; those landing on the frame are lit
    }
    ClockState none = ClockAt(10, 8, 42);
    none.Thickness = 0; // widened by 2.5 still
    DrawHourHand(none);
    EXPECT_NE(none.HourSamples.X(51, 0), none.HourSamples.X(51, 18));
}

TEST(HandShading, NothingWithoutAFrame) {
    ClockState bare;
    bare.Diameter = 300;
    bare.HourHandLength = 125;
    DrawHourHand(bare);
    DrawMinuteHand(bare);
    DrawSecondHand(bare);

    ClockState empty = ClockAt(1, 2, 3);
    const std::vector<uint16_t> x = empty.HourSamples.x;
    empty.FrameBuffer->SetSize(0, 0);
    RenderFrame(empty);
    EXPECT_EQ(empty.HourSamples.x, x);

    ClockState noDiameter = ClockAt(1, 2, 3);
    noDiameter.Diameter = 0;
    RenderFrame(noDiameter);
    EXPECT_EQ(noDiameter.HourSamples.x, x);
}

TEST(RenderFrame, DrawsTheDialThenHourMinuteSecond) {
    ClockState whole = ClockAt(12, 0, 0);
    ClockState steps = ClockAt(12, 0, 0);
    ClockState reversed = ClockAt(12, 0, 0);
    for (ClockState* s : {&whole, &steps, &reversed}) {
        FillPattern(*s->BackgroundBuffer);
    }
    RenderFrame(whole);
    DrawDial(steps);
    DrawHourHand(steps);
    DrawMinuteHand(steps);
    DrawSecondHand(steps);
    DrawDial(reversed);
    DrawSecondHand(reversed);
    DrawMinuteHand(reversed);
    DrawHourHand(reversed);
    EXPECT_TRUE(SamePicture(*whole.FrameBuffer, *steps.FrameBuffer));
    EXPECT_FALSE(SamePicture(*whole.FrameBuffer, *reversed.FrameBuffer));
    EXPECT_EQ(whole.HourSamples.x, steps.HourSamples.x);
    EXPECT_EQ(whole.SecondSamples.y, steps.SecondSamples.y);
}
