#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>
#include <set>
#include <string>

#include "core/render/render.h"
#include "tests/core/render/render_fixture.h"

using namespace lumivane;
using namespace lumivane::testing_support;

namespace {

constexpr Colour kBlack{0, 0, 0};

ClockState BlackClock(int32_t diameter, int32_t thickness, int32_t bright = 30) {
    ClockState state = MakeClock(diameter, bright);
    state.Thickness = thickness;
    Fill(*state.FrameBuffer, kBlack);
    return state;
}

// A black pixel lit by a bead at Bright 30, by its offset (larger, smaller) from
// the bead centre: 152.05 x the cone factor, rounded, sign dropped.
using ConeTable = std::map<std::pair<int32_t, int32_t>, int32_t>;
const ConeTable kRadiusOne = {{{0, 0}, 214}, {{1, 0}, 62}, {{1, 1}, 1}};
const ConeTable kRadiusOneSoftened = {{{0, 0}, 214}, {{1, 0}, 62}, {{1, 1}, 34}};
const ConeTable kRadiusTwo = {{{0, 0}, 214}, {{1, 0}, 138}, {{1, 1}, 107},
                              {{2, 0}, 62},  {{2, 1}, 44},  {{2, 2}, 1}};
const ConeTable kRadiusThree = {{{0, 0}, 214}, {{1, 0}, 164}, {{1, 1}, 143}, {{2, 0}, 113},
                                {{2, 1}, 101}, {{2, 2}, 71},  {{3, 0}, 62},  {{3, 1}, 54},
                                {{3, 2}, 32},  {{3, 3}, 1}};
const ConeTable kSingle = {{{0, 0}, 214}};

// Checks the square around (cx, cy): the cone inside, untouched black around it.
void ExpectBead(TDIB& frame, int32_t cx, int32_t cy, const ConeTable& cone, int32_t radius) {
    for (int32_t dy = -radius - 1; dy <= radius + 1; ++dy) {
        for (int32_t dx = -radius - 1; dx <= radius + 1; ++dx) {
            const int32_t ax = std::abs(dx);
            const int32_t ay = std::abs(dy);
            const auto key = std::pair{std::max(ax, ay), std::min(ax, ay)};
            const int32_t expected = std::max(ax, ay) > radius ? 0 : cone.at(key);
            EXPECT_EQ(PixelAt(frame, cx + dx, cy + dy), (Colour{expected, expected, expected}))
                << "offset " << dx << "," << dy;
        }
    }
}

} // namespace

TEST(RingOffsets, RunRoundFromStraightBelowTheCentre) {
    ClockState state = MakeClock(10);
    const std::vector<std::pair<int32_t, int32_t>> rings[] = {
        {{0, 0}},
        {{0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}, {1, 0}, {1, 1}},
        {{0, 2},
         {-1, 2},
         {-2, 2},
         {-2, 1},
         {-2, 0},
         {-2, -1},
         {-2, -2},
         {-1, -2},
         {0, -2},
         {1, -2},
         {2, -2},
         {2, -1},
         {2, 0},
         {2, 1},
         {2, 2},
         {1, 2}},
        {{0, 3},   {-1, 3},  {-2, 3},  {-3, 3},  {-3, 2}, {-3, 1}, {-3, 0}, {-3, -1},
         {-3, -2}, {-3, -3}, {-2, -3}, {-1, -3}, {0, -3}, {1, -3}, {2, -3}, {3, -3},
         {3, -2},  {3, -1},  {3, 0},   {3, 1},   {3, 2},  {3, 3},  {2, 3},  {1, 3}},
    };
    for (int32_t ring = 0; ring < 4; ++ring) {
        for (size_t k = 0; k < rings[ring].size(); ++k) {
            EXPECT_EQ(state.RingOffsetX[ring][k], rings[ring][k].first) << ring << "/" << k;
            EXPECT_EQ(state.RingOffsetY[ring][k], rings[ring][k].second) << ring << "/" << k;
        }
    }
    EXPECT_EQ(state.RingOffsetY[4][0], 0) << "rings beyond 3 stay empty";
}

TEST(DialBeads, ConeFactorsByBeadRadius) {
    // Bead radius by Thickness 1..6: minute marks 0,0,1,1,1,2; numeral dots 0,1,1,2,2,3.
    const ConeTable* marks[] = {&kSingle,    &kSingle,    &kRadiusOne,
                                &kRadiusOne, &kRadiusOne, &kRadiusTwo};
    const int32_t markRadius[] = {0, 0, 1, 1, 1, 2};
    const ConeTable* dots[] = {&kSingle,    &kRadiusOneSoftened, &kRadiusOneSoftened,
                               &kRadiusTwo, &kRadiusTwo,         &kRadiusThree};
    const int32_t dotRadius[] = {0, 1, 1, 2, 2, 3};
    for (int32_t thickness = 1; thickness <= 6; ++thickness) {
        SCOPED_TRACE(thickness);
        ClockState state = BlackClock(60, thickness);
        DrawMinuteMark(state, -10, 5); // centre (20, 35)
        ExpectBead(*state.FrameBuffer, 20, 35, *marks[thickness - 1], markRadius[thickness - 1]);
        DrawNumeralDot(state, 40, 15);
        ExpectBead(*state.FrameBuffer, 40, 15, *dots[thickness - 1], dotRadius[thickness - 1]);
    }
}

TEST(DialBeads, HalfBrightnessLightsTheCentreByHalf) {
    ClockState state = BlackClock(40, 1, 15);
    SetPixel(*state.FrameBuffer, 10, 10, {128, 128, 128});
    DrawMinuteMark(state, 0, 0);
    DrawNumeralDot(state, 10, 10);
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 20, 20), (Colour{107, 107, 107}));
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 10, 10), (Colour{209, 209, 196}));
}

TEST(DialBeads, BrightZeroLeavesOnlyTheTint) {
    ClockState state = BlackClock(40, 6, 0);
    SetPixel(*state.FrameBuffer, 21, 20, {255, 255, 255});
    SetPixel(*state.FrameBuffer, 22, 22, {0, 255, 0});
    DrawNumeralDot(state, 20, 20);
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 20, 20), kBlack);
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 21, 20), (Colour{255, 255, 242}));
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 22, 22), (Colour{0, 255, 13}));
}

TEST(DialBeads, ReadEverySampleBeforeWritingAndWriteInRingOrder) {
    // A dot centred at (-1, 5) with bead radius 1: all nine samples move to column 0,
    // three to each of rows 4, 5 and 6. Each reads the black picture; the last of
    // each row in ring order shows: (1,-1) diagonal, (1,0) side, (1,1) diagonal.
    ClockState state = BlackClock(20, 2);
    DrawNumeralDot(state, -1, 5);
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 0, 4), (Colour{34, 34, 34}));
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 0, 5), (Colour{62, 62, 62}));
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 0, 6), (Colour{34, 34, 34}));
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 1, 5), kBlack);
}

TEST(DialBeads, PositionsOffTheFrameMoveToRowAndColumnZero) {
    ClockState state = BlackClock(20, 1);
    DrawMinuteMark(state, -15, 30); // centre (-5, 40)
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 0, 0), (Colour{214, 214, 214}));
    DrawNumeralDot(state, 7, 20); // y = Height
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 7, 0), (Colour{214, 214, 214}));
    DrawNumeralDot(state, 19, 19); // the last pixel still lies inside
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 19, 19), (Colour{214, 214, 214}));
    for (int32_t far : {INT_MIN, INT_MAX}) {
        state.Thickness = 6;
        DrawMinuteMark(state, far, far);
        DrawNumeralDot(state, far, 3);
        DrawNumeralDot(state, 3, far);
    }
}

TEST(DialBeads, OverlappingBeadsLightTheSharedLineTwice) {
    // Thickness 2: dots two pixels apart share one column.
    ClockState state = BlackClock(30, 2);
    DrawNumeralDot(state, 10, 10);
    DrawNumeralDot(state, 12, 10);
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 10, 10), (Colour{214, 214, 214}));
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 11, 10), (Colour{122, 122, 116})); // 62 lit again
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 12, 10), (Colour{214, 214, 214}));
}

TEST(DialBeads, NothingWithoutAFrame) {
    ClockState none;
    none.Diameter = 100;
    DrawMinuteMark(none, 0, 0);
    DrawNumeralDot(none, 0, 0);
    ClockState empty = MakeClock(0);
    DrawMinuteMark(empty, 0, 0);
    DrawNumeralDot(empty, 0, 0);
    DrawDial(empty);
    ClockState undersized = BlackClock(20, 1);
    undersized.Diameter = 0;
    DrawNumeralDot(undersized, 5, 5);
    EXPECT_EQ(PixelAt(*undersized.FrameBuffer, 5, 5), kBlack);
    undersized.Diameter = 20;
    undersized.Thickness = -4; // no rings at all
    DrawNumeralDot(undersized, 5, 5);
    EXPECT_EQ(PixelAt(*undersized.FrameBuffer, 5, 5), kBlack);
}

// The dots themselves: MatchTheirPictures.
TEST(NumeralGlyphs, HoldTheirNudges) {
    // Nudge of dot i of numeral k for Thickness div 2 = h, as (x, y) in pixels.
    auto nudge = [](size_t k, size_t i, int32_t h) {
        const GlyphDot& d = NumeralGlyphs[k][i];
        return std::pair{d.nudgeX + d.nudgeXHalf * h, int32_t{d.nudgeY}};
    };
    for (int32_t h : {0, 1, 3}) {
        for (size_t k = 0; k < 12; ++k) {
            for (size_t i = 0; i < NumeralGlyphs[k].size(); ++i) {
                std::pair<int32_t, int32_t> expected{0, 0};
                switch (k) {
                case 1:
                case 2:
                    expected = {0, -1};
                    break;
                case 4:
                    expected = {0, 1};
                    break;
                case 6:
                    expected = {-h, 0};
                    break;
                case 7:
                    expected = {i == 5 ? h : i == 7 ? -h : 0, 0};
                    break;
                case 10:
                    expected = {1, 0};
                    break;
                case 11:
                    expected = {i < 8 ? 1 : -h, 0};
                    break;
                default:
                    break;
                }
                EXPECT_EQ(nudge(k, i, h), expected) << "numeral " << k << " dot " << i;
            }
        }
    }
}

TEST(NumeralGlyphs, MatchTheirPictures) {
    // Rows b = -3..3, columns a = -3..3; entry k - 1 is the numeral k.
    const char* pictures[12][7] = {
        {"...#...", "..##...", "...#...", "...#...", "...#...", "...#...", "...#..."},
        {"...##..", "..#..#.", ".....#.", "....#..", "...#...", "..#....", "..####."},
        {"...##..", "..#..#.", ".....#.", "....#..", ".....#.", "..#..#.", "...##.."},
        {".....#.", "....##.", "...#.#.", "..#..#.", "..#####", ".....#.", ".....#."},
        {".####..", ".#.....", ".###...", "....#..", "....#..", ".#..#..", "..##..."},
        {"...##..", "..#..#.", "..#....", "..###..", "..#..#.", "..#..#.", "...##.."},
        {".####..", "....#..", "...#...", "...#...", "...#...", "..#....", "..#...."},
        {"..##...", ".#..#..", ".#..#..", "..##...", ".#..#..", ".#..#..", "..##..."},
        {"..##...", ".#..#..", ".#..#..", "..###..", "....#..", ".#..#..", "..##..."},
        {".#..##.", "##.#..#", ".#.#..#", ".#.#..#", ".#.#..#", ".#.#..#", ".#..##."},
        {".#...#.", "##..##.", ".#...#.", ".#...#.", ".#...#.", ".#...#.", ".#...#."},
        {".#..##.", "##.#..#", ".#....#", ".#...#.", ".#..#..", ".#.#...", ".#.####"},
    };
    for (int32_t number = 1; number <= 12; ++number) {
        std::set<std::pair<int32_t, int32_t>> picture;
        for (int32_t b = -3; b <= 3; ++b) {
            for (int32_t a = -3; a <= 3; ++a) {
                if (pictures[number - 1][b + 3][a + 3] == '#') {
                    picture.insert({a, b});
                }
            }
        }
        std::set<std::pair<int32_t, int32_t>> glyph;
        for (const GlyphDot& dot : NumeralGlyphs[number % 12]) {
            EXPECT_TRUE(glyph.insert({dot.a, dot.b}).second) << "numeral " << number;
        }
        EXPECT_EQ(glyph, picture) << "numeral " << number;
    }
}

TEST(DrawDial, SixtyMarksAndTwelveNumeralsAtThicknessOne) {
    // Diameter 90: Radius 45, Thickness 1, single-pixel beads on a black dial.
    ClockState state = MakeClock(90);
    ASSERT_EQ(state.Thickness, 1);
    Fill(*state.BackgroundBuffer, kBlack);
    Fill(*state.FrameBuffer, kBlack);
    DrawDial(state);
    TDIB& frame = *state.FrameBuffer;
    int32_t lit = 0;
    for (int32_t y = 0; y < 90; ++y) {
        for (int32_t x = 0; x < 90; ++x) {
            const Colour c = PixelAt(frame, x, y);
            if (!(c == kBlack)) {
                ++lit;
                EXPECT_EQ(c, (Colour{214, 214, 214})) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(lit, 60 + 169);
    // Marks at Radius - Thickness = 44: 12, 3, 6 and 9 o'clock.
    for (auto [x, y] : {std::pair{45, 1}, std::pair{89, 45}, std::pair{45, 89}, std::pair{1, 45}}) {
        EXPECT_EQ(PixelAt(frame, x, y), (Colour{214, 214, 214})) << x << "," << y;
    }
    // The 12 anchored at (0, -39), the 3 at (39, 0).
    for (const GlyphDot& dot : NumeralGlyphs[0]) {
        EXPECT_EQ(PixelAt(frame, 45 + dot.a, 6 + dot.b).red, 214);
    }
    for (const GlyphDot& dot : NumeralGlyphs[3]) {
        EXPECT_EQ(PixelAt(frame, 84 + dot.a, 45 + dot.b).red, 214);
    }
    // The one-pixel nudges stay at Thickness 1: the 10, anchored 33.77 left of the
    // centre (its height, 19.5 up, is a half pixel either way), moves one pixel right.
    auto tenLitAt = [&](int32_t left, int32_t up) {
        return std::all_of(NumeralGlyphs[10].begin(), NumeralGlyphs[10].end(),
                           [&](const GlyphDot& d) {
                               return PixelAt(frame, 45 - left + d.a + 1, 45 - up + d.b).red == 214;
                           });
    };
    EXPECT_TRUE(tenLitAt(34, 19) || tenLitAt(34, 20));
}

TEST(DrawDial, NumeralsScaleWithThickness) {
    // Diameter 300: Radius 150, Thickness 4, numeral dots of bead radius 2 four pixels
    // apart, their anchors 126 from the centre.
    ClockState state = MakeClock(300);
    ASSERT_EQ(state.Thickness, 4);
    Fill(*state.BackgroundBuffer, kBlack);
    DrawDial(state);
    TDIB& frame = *state.FrameBuffer;
    auto expectGlyph = [&](size_t k, int32_t cx, int32_t cy) {
        std::set<std::pair<int32_t, int32_t>> dots;
        for (const GlyphDot& dot : NumeralGlyphs[k]) {
            dots.insert({dot.a, dot.b});
        }
        for (int32_t b = -3; b <= 3; ++b) {
            for (int32_t a = -3; a <= 3; ++a) {
                EXPECT_EQ(PixelAt(frame, cx + 4 * a, cy + 4 * b).red,
                          dots.contains({a, b}) ? 214 : 0)
                    << "numeral " << k << " grid " << a << "," << b;
            }
        }
    };
    expectGlyph(0, 150, 24);
    expectGlyph(3, 276, 150);
    expectGlyph(6, 148, 276); // x - Thickness div 2
    // Marks at 146 from the centre, bead radius 1.
    EXPECT_EQ(PixelAt(frame, 150, 4).red, 214);
    EXPECT_EQ(PixelAt(frame, 150, 3).red, 62);
    EXPECT_EQ(PixelAt(frame, 296, 150).red, 214);
    EXPECT_EQ(PixelAt(frame, 150, 296).red, 214);
    EXPECT_EQ(PixelAt(frame, 4, 150).red, 214);
}

TEST(DrawDial, StaysInsideTheFrameWhateverTheThickness) {
    for (int32_t thickness : {INT_MIN, -7, -1, 0, 7, 40, 1000, INT_MAX}) {
        ClockState state = MakeClock(120);
        FillPattern(*state.BackgroundBuffer);
        state.Thickness = thickness;
        state.Label = "WWWWWWWWWWWW";
        DrawDial(state);
        RenderFrame(state);
    }
}
