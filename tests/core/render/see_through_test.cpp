// The see-through clock: what a compositor shows of the composed picture over a desktop is
// the frame, and a capture of that screen gives the desktop back. The compositor here
// blends premultiplied pixels as pixman does, rounding to nearest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "core/render/render.h"
#include "core/render/see_through.h"
#include "tests/core/render/render_fixture.h"

using namespace lumivane;
using namespace lumivane::testing_support;

namespace {

constexpr int32_t kSide = 97;

uint8_t Shown(uint32_t pixel, int shift, uint8_t beneath) {
    const auto alpha = static_cast<int32_t>(pixel >> 24);
    const auto colour = static_cast<int32_t>(pixel >> shift & 0xFF);
    return static_cast<uint8_t>(
        std::min<long>(255, colour + std::lround(beneath * (255 - alpha) / 255.0)));
}

// What the screen shows of `desktop` (a kSide square at the origin) with `picture` at `at`
// over it, as 0x00RRGGBB.
std::vector<uint32_t> Screen(TDIB& desktop, const ArgbImage& picture, Place at) {
    std::vector<uint32_t> screen(static_cast<size_t>(kSide) * kSide);
    for (int32_t y = 0; y < kSide; ++y) {
        for (int32_t x = 0; x < kSide; ++x) {
            const Colour b = PixelAt(desktop, x, y);
            const int32_t px = x - at.left;
            const int32_t py = y - at.top;
            const bool over = px >= 0 && py >= 0 && px < picture.width && py < picture.height;
            const uint32_t p = over ? picture.At(px, py) : 0;
            screen[static_cast<size_t>(y) * kSide + x] =
                static_cast<uint32_t>(Shown(p, 16, static_cast<uint8_t>(b.red))) << 16 |
                static_cast<uint32_t>(Shown(p, 8, static_cast<uint8_t>(b.green))) << 8 |
                Shown(p, 0, static_cast<uint8_t>(b.blue));
        }
    }
    return screen;
}

int32_t Farthest(Colour a, Colour b) {
    return std::max(
        {std::abs(a.red - b.red), std::abs(a.green - b.green), std::abs(a.blue - b.blue)});
}

struct SeeThrough : ::testing::Test {
    ClockState state = MakeClock(kSide);
    TDIB desktop;
    ArgbImage picture;

    SeeThrough() {
        desktop.SetBitCount(24);
        desktop.SetSize(kSide, kSide);
        FillPattern(desktop);
        state.Hour = 10;
        state.Minute = 8;
        state.Second = 37;
    }

    // The frame over the desktop, as the renderers draw it.
    void DrawOver(TDIB& beneath) {
        for (int32_t y = 0; y < kSide; ++y) {
            std::copy_n(beneath.Row(y), 3 * kSide, state.BackgroundBuffer->Row(y));
        }
        RenderFrame(state);
        const Rect whole{0, 0, kSide, kSide};
        ComposeSeeThrough(state, std::span<const Rect>(&whole, 1), picture);
    }
};

TEST_F(SeeThrough, OverTheKnownDesktopTheScreenShowsTheFrame) {
    DrawOver(desktop);
    const std::vector<uint32_t> screen = Screen(desktop, picture, {0, 0});
    int32_t dome = 0;
    int32_t exact = 0;
    for (int32_t y = 0; y < kSide; ++y) {
        for (int32_t x = 0; x < kSide; ++x) {
            const uint32_t s = screen[static_cast<size_t>(y) * kSide + x];
            const Colour shown{static_cast<int32_t>(s >> 16), static_cast<int32_t>(s >> 8 & 0xFF),
                               static_cast<int32_t>(s & 0xFF)};
            const Colour frame = PixelAt(*state.FrameBuffer, x, y);
            const uint32_t p = picture.At(x, y);
            if (frame == Colour{} && (p >> 24) == 0) {
                EXPECT_EQ(shown, PixelAt(desktop, x, y)) << "transparent at " << x << "," << y;
                continue;
            }
            // One alpha for three channels, in 255ths: a level off at most.
            EXPECT_LE(Farthest(shown, frame), 1) << x << "," << y;
            exact += shown == frame;
            EXPECT_LT(p >> 24, 255u) << "never opaque, at " << x << "," << y;
            dome += (p & 0xFFFFFF) == 0 && (p >> 24) != 0;
        }
    }
    EXPECT_GT(dome, kSide * kSide / 2) << "the dome is black the compositor darkens with";
    EXPECT_GT(exact, kSide * kSide / 2);
}

TEST_F(SeeThrough, ACaptureOfTheScreenGivesTheDesktopBack) {
    // Before the clock shows, the capture is the desktop.
    const std::vector<uint32_t> screen = Screen(desktop, ArgbImage{}, {0, 0});
    const ScreenCapture capture{screen.data(), kSide, {0, 0, kSide, kSide}, {}};
    TDIB& background = *state.BackgroundBuffer;
    RecoverBeneath(background, {}, {0, 0}, capture, {});
    for (int32_t y = 0; y < kSide; ++y) {
        for (int32_t x = 0; x < kSide; ++x) {
            ASSERT_EQ(PixelAt(background, x, y), PixelAt(desktop, x, y));
        }
    }
    // A window moves under the clock: the screen shows the clock over it.
    DrawOver(desktop);
    TDIB window;
    window.SetBitCount(24);
    window.SetSize(kSide, kSide);
    FillPattern(window);
    for (int32_t y = 20; y < 70; ++y) {
        for (int32_t x = 10; x < 60; ++x) {
            SetPixel(window, x, y, {(x * 31) % 256, 200, (y * 17) % 256});
        }
    }
    const std::vector<uint32_t> over = Screen(window, picture, {0, 0});
    RecoverBeneath(background, {true, {0, 0}}, {0, 0},
                   {over.data(), kSide, {0, 0, kSide, kSide}, {}}, {&picture, {0, 0}});
    for (int32_t y = 0; y < kSide; ++y) {
        for (int32_t x = 0; x < kSide; ++x) {
            const int32_t alpha = static_cast<int32_t>(picture.At(x, y) >> 24);
            const int32_t error = Farthest(PixelAt(background, x, y), PixelAt(window, x, y));
            // The rounding leaves 255 / (255 - alpha) values that the screen cannot tell
            // apart.
            ASSERT_LE(error, 255 / (255 - alpha)) << x << "," << y << " alpha " << alpha;
        }
    }
    // Over what came back that screen holds nothing new; beyond the square, or with a
    // change beneath, it tells nothing.
    const ScreenCapture shot{over.data(), kSide, {0, 0, kSide, kSide}, {}};
    EXPECT_TRUE(ShowsOnlyTheClock(background, {0, 0}, shot, {&picture, {0, 0}}));
    EXPECT_FALSE(ShowsOnlyTheClock(background, {6, 6}, shot, {&picture, {6, 6}})) << "beyond";
    SetPixel(window, 40, 40, {0, 0, 255});
    const std::vector<uint32_t> changed = Screen(window, picture, {0, 0});
    EXPECT_FALSE(ShowsOnlyTheClock(
        background, {0, 0}, {changed.data(), kSide, {0, 0, kSide, kSide}, {}}, {&picture, {0, 0}}));
    // The frame drawn from what came back is the frame over the window.
    RenderFrame(state);
    TDIB recovered;
    recovered.SetBitCount(24);
    recovered.SetSize(kSide, kSide);
    for (int32_t y = 0; y < kSide; ++y) {
        std::copy_n(state.FrameBuffer->Row(y), 3 * kSide, recovered.Row(y));
    }
    DrawOver(window);
    int32_t off = 0;
    for (int32_t y = 0; y < kSide; ++y) {
        for (int32_t x = 0; x < kSide; ++x) {
            off += Farthest(PixelAt(recovered, x, y), PixelAt(*state.FrameBuffer, x, y)) > 2;
        }
    }
    // Beneath bright beads little comes through: on this desktop of pixels unlike their
    // neighbours a few of them are off.
    EXPECT_LT(off, kSide * kSide * 3 / 100);
}

TEST_F(SeeThrough, BeneathOpaquePixelsAndBeyondTheCaptureTheLastEstimateStays) {
    TDIB& background = *state.BackgroundBuffer;
    Fill(background, {10, 20, 30});
    picture.Resize(kSide, kSide);
    picture.pixels[static_cast<size_t>(40) * kSide + 50] = 0xFF808080; // opaque, at (50, 40)
    const std::vector<uint32_t> screen = Screen(desktop, picture, {0, 0});
    // The clock moved 7 right and 5 up since; the capture misses the square's bottom rows.
    const ScreenCapture capture{screen.data(), kSide, {0, 0, kSide, kSide - 10}, {}};
    const Place at{7, -5};
    RecoverBeneath(background, {true, {0, 0}}, at, capture, {&picture, {0, 0}});
    EXPECT_EQ(PixelAt(background, 50 - at.left, 40 - at.top), (Colour{10, 20, 30}));
    EXPECT_EQ(PixelAt(background, 20 - at.left, 30 - at.top), PixelAt(desktop, 20, 30));
    EXPECT_EQ(PixelAt(background, 20 - at.left, kSide - 8 - at.top), (Colour{10, 20, 30}));
    // Without a last estimate what nothing shows is black.
    RecoverBeneath(background, {}, {0, 0}, capture, {});
    EXPECT_EQ(PixelAt(background, 5, kSide - 1), (Colour{}));
}

} // namespace
