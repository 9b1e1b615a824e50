#include <gtest/gtest.h>

#include <climits>

#include "core/render/render.h"
#include "tests/core/render/render_fixture.h"

using namespace lumivane;
using namespace lumivane::testing_support;

namespace {

constexpr Colour kMarker{1, 2, 3};

long double& ShadingEntry(ClockState& state, int32_t x, int32_t y) {
    return state.ShadingTable[static_cast<size_t>(state.QuadrantIndex(y)) * state.QuadrantSide +
                              state.QuadrantIndex(x)];
}

bool InSpan(const ClockState& state, int32_t x, int32_t y) {
    const DiscSpan span = state.DiscSpans[static_cast<size_t>(y)];
    return x >= span.first && x <= span.last;
}

} // namespace

TEST(ShadeDialDome, HalvesGoToTheEvenNeighbour) {
    ClockState state = MakeClock(20);
    ShadingEntry(state, 10, 10) = 0.5L;
    ShadingEntry(state, 11, 10) = 0.2L;
    SetPixel(*state.BackgroundBuffer, 10, 10, {5, 3, 7});
    SetPixel(*state.BackgroundBuffer, 11, 10, {13, 0, 255});
    RefreshDomeFactors(state);
    ShadeDialDome(state);
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 10, 10), (Colour{2, 2, 4}));  // 2.5, 1.5, 3.5
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 11, 10), (Colour{3, 0, 51})); // 2.6, 0, 51
}

TEST(ShadeDialDome, KeepsSixteenBitsThenCapsAtTwoFiftyFive) {
    ClockState state = MakeClock(20);
    ShadingEntry(state, 10, 10) = 300.0L; // 219 x 300 = 65700, whose low 16 bits are 164
    ShadingEntry(state, 11, 10) = -0.01L; // -1 wraps to 65535, then capped
    ShadingEntry(state, 10, 11) = 2.0L;   // 400, capped
    SetPixel(*state.BackgroundBuffer, 10, 10, {219, 1, 0});
    SetPixel(*state.BackgroundBuffer, 11, 10, {100, 0, 20});
    SetPixel(*state.BackgroundBuffer, 10, 11, {200, 100, 127});
    RefreshDomeFactors(state);
    ShadeDialDome(state);
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 10, 10), (Colour{164, 255, 0}));
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 11, 10), (Colour{255, 0, 0})); // -0.2 rounds to 0
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 10, 11), (Colour{255, 200, 254}));
}

TEST(ShadeDialDome, WritesExactlyTheDisc) {
    for (int32_t diameter : {1, 2, 3, 7, 20, 21, 285, 300}) {
        ClockState state = MakeClock(diameter);
        Fill(*state.BackgroundBuffer, {200, 200, 200});
        Fill(*state.FrameBuffer, kMarker);
        ShadeDialDome(state);
        for (int32_t y = 0; y < diameter; ++y) {
            for (int32_t x = 0; x < diameter; ++x) {
                const bool onDisc = state.Distance(x, y) <= state.Radius;
                EXPECT_EQ(PixelAt(*state.FrameBuffer, x, y) == kMarker, !onDisc)
                    << "diameter " << diameter << " at " << x << "," << y;
            }
        }
    }
}

TEST(ShadeDialDome, PixelAtExactlyTheRadiusIsShaded) {
    ClockState state = MakeClock(300);
    Fill(*state.BackgroundBuffer, {200, 100, 50});
    Fill(*state.FrameBuffer, kMarker);
    ASSERT_EQ(state.Distance(150, 0), 150.0L);
    ASSERT_GT(state.Distance(0, 149), 150.0L);
    ShadeDialDome(state);
    EXPECT_NE(PixelAt(*state.FrameBuffer, 150, 0), kMarker);
    EXPECT_NE(PixelAt(*state.FrameBuffer, 0, 150), kMarker);
    EXPECT_NE(PixelAt(*state.FrameBuffer, 299, 150), kMarker);
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 0, 149), kMarker);
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 151, 0), kMarker);
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 0, 0), kMarker);
}

TEST(DiscSpans, HoldExactlyThePixelsWithinTheRadius) {
    std::vector<int32_t> diameters;
    for (int32_t d = 1; d <= 130; ++d) {
        diameters.push_back(d);
    }
    for (int32_t d : {284, 285, 299, 300, 301, 499, 500, 1000, 1001}) {
        diameters.push_back(d);
    }
    for (int32_t diameter : diameters) {
        ClockState state = MakeClock(diameter);
        ASSERT_GE(state.DiscSpans.size(), static_cast<size_t>(diameter));
        int64_t mismatches = 0;
        for (int32_t y = 0; y < diameter; ++y) {
            for (int32_t x = 0; x < diameter; ++x) {
                mismatches += InSpan(state, x, y) != (state.Distance(x, y) <= state.Radius);
            }
        }
        EXPECT_EQ(mismatches, 0) << "diameter " << diameter;
    }
}

TEST(ShadeDialDome, DarkensMostAtTheCentre) {
    ClockState state = MakeClock(300); // Bright 30, Contrast 6: factor 0.8 at the centre
    Fill(*state.BackgroundBuffer, {255, 255, 255});
    ShadeDialDome(state);
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 150, 150), (Colour{204, 204, 204}));
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 150, 0), (Colour{254, 254, 254})); // 0.998 on the rim
    const Colour middle = PixelAt(*state.FrameBuffer, 150, 75);
    EXPECT_GT(middle.red, 204);
    EXPECT_LT(middle.red, 254);
}

TEST(ShadeDialDome, NeutralWithBrightOrContrastZero) {
    for (auto [bright, contrast] : {std::pair{0, 6}, std::pair{30, 0}, std::pair{0, 0}}) {
        ClockState state = MakeClock(121, bright, contrast);
        FillPattern(*state.BackgroundBuffer);
        ShadeDialDome(state);
        for (int32_t y = 0; y < 121; ++y) {
            for (int32_t x = 0; x < 121; ++x) {
                if (state.Distance(x, y) <= state.Radius) {
                    ASSERT_EQ(PixelAt(*state.FrameBuffer, x, y),
                              PixelAt(*state.BackgroundBuffer, x, y))
                        << bright << "/" << contrast << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST(ShadeDialDome, BlackBackgroundGivesABlackDial) {
    ClockState state = MakeClock(101);
    Fill(*state.BackgroundBuffer, {0, 0, 0});
    Fill(*state.FrameBuffer, kMarker);
    ShadeDialDome(state);
    for (int32_t y = 0; y < 101; ++y) {
        for (int32_t x = 0; x < 101; ++x) {
            if (state.Distance(x, y) <= state.Radius) {
                ASSERT_EQ(PixelAt(*state.FrameBuffer, x, y), (Colour{0, 0, 0}));
            }
        }
    }
}

TEST(ShadeDialDome, OddDiameterIsSymmetricAboutTheHalfPixelCentre) {
    ClockState state = MakeClock(285);
    Fill(*state.BackgroundBuffer, {180, 90, 255});
    Fill(*state.FrameBuffer, kMarker);
    ShadeDialDome(state);
    // Pixel x mirrors to 285 - x about the centre 142.5.
    for (int32_t y = 0; y < 285; ++y) {
        for (int32_t x = 1; x < 285; ++x) {
            ASSERT_EQ(PixelAt(*state.FrameBuffer, x, y), PixelAt(*state.FrameBuffer, 285 - x, y));
            ASSERT_EQ(PixelAt(*state.FrameBuffer, x, y), PixelAt(*state.FrameBuffer, y, x));
        }
    }
    // Column 0 lies 142.5 from the centre, beyond Radius 142, on every row.
    for (int32_t y = 0; y < 285; ++y) {
        ASSERT_EQ(PixelAt(*state.FrameBuffer, 0, y), kMarker);
    }
    EXPECT_NE(PixelAt(*state.FrameBuffer, 1, 142), kMarker);
    EXPECT_NE(PixelAt(*state.FrameBuffer, 284, 142), kMarker);
}

TEST(ShadeDialDome, NothingToDoWithoutBuffersOrDiameter) {
    {
        ClockState state;
        ShadeDialDome(state); // no buffers at all
    }
    {
        ClockState state = MakeClock(0);
        ShadeDialDome(state);
        EXPECT_TRUE(state.FrameBuffer->Empty());
    }
    {
        ClockState state = MakeClock(40);
        Fill(*state.FrameBuffer, kMarker);
        state.Diameter = 0;
        ShadeDialDome(state);
        state.Diameter = -40;
        ShadeDialDome(state);
        EXPECT_EQ(PixelAt(*state.FrameBuffer, 20, 20), kMarker);
        state.Diameter = 40;
        state.BackgroundBuffer->SetSize(0, 0);
        ShadeDialDome(state);
        EXPECT_EQ(PixelAt(*state.FrameBuffer, 20, 20), kMarker);
    }
}

TEST(ShadeDialDome, StaysInsideBuffersThatDoNotMatchTheDiameter) {
    ClockState state = MakeClock(60);
    state.BackgroundBuffer->SetSize(45, 30);
    state.FrameBuffer->SetSize(30, 50);
    Fill(*state.BackgroundBuffer, {100, 100, 100});
    Fill(*state.FrameBuffer, kMarker);
    ShadeDialDome(state); // rows and columns beyond either buffer are left out
    EXPECT_NE(PixelAt(*state.FrameBuffer, 29, 29), kMarker);
    EXPECT_EQ(PixelAt(*state.FrameBuffer, 29, 30), kMarker);

    ClockState larger = MakeClock(60);
    larger.BackgroundBuffer->SetSize(80, 80);
    larger.FrameBuffer->SetSize(80, 80);
    Fill(*larger.BackgroundBuffer, {100, 100, 100});
    Fill(*larger.FrameBuffer, kMarker);
    ShadeDialDome(larger); // the disc of the 60-pixel dial only
    EXPECT_NE(PixelAt(*larger.FrameBuffer, 30, 59), kMarker);
    EXPECT_EQ(PixelAt(*larger.FrameBuffer, 30, 60), kMarker);
    EXPECT_EQ(PixelAt(*larger.FrameBuffer, 79, 79), kMarker);

    // Tables left behind by a smaller Diameter are not read past their end.
    ClockState grown = MakeClock(30);
    grown.Diameter = 60;
    grown.Radius = 30;
    grown.BackgroundBuffer->SetSize(60, 60);
    grown.FrameBuffer->SetSize(60, 60);
    Fill(*grown.FrameBuffer, kMarker);
    ShadeDialDome(grown);
    EXPECT_EQ(PixelAt(*grown.FrameBuffer, 30, 30), kMarker);
}
