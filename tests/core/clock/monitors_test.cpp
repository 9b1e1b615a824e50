#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "core/clock/placement.h"

using namespace lumivane;

namespace {

// The primary 1366 x 768 display and a 1920 x 1080 one to its right, as Wine reports
// them for the two-monitor test display.
const std::vector<Rect> kTwo{{0, 0, 1366, 768}, {1366, 0, 3286, 1080}};
// The primary 1920 x 1080, a 1280 x 1024 one left of it, a 2560 x 1440 one above it.
const std::vector<Rect> kThree{{0, 0, 1920, 1080}, {-1280, 0, 0, 1024}, {-320, -1440, 2240, 0}};
// The primary alone: the second monitor is gone.
const std::vector<Rect> kPrimary{{0, 0, 1366, 768}};

ClockState Saved(int32_t left, int32_t top, int32_t size, int32_t diameter = 0) {
    ClockState state;
    state.SavedLeft = left;
    state.SavedTop = top;
    state.Size = size;
    state.Diameter = diameter;
    return state;
}

} // namespace

TEST(OwningMonitor, IsTheMonitorThatHoldsTheCentre) {
    EXPECT_EQ(OwningMonitor(kTwo, {1000, 100}, 285, 285), 0u); // centre x 1142.5
    EXPECT_EQ(OwningMonitor(kTwo, {1300, 100}, 285, 285), 1u); // centre x 1442.5
    // Centre at 1365.5 and at 1366.5: the pixel columns on either side of the seam.
    EXPECT_EQ(OwningMonitor(kTwo, {1223, 0}, 285, 285), 0u);
    EXPECT_EQ(OwningMonitor(kTwo, {1224, 0}, 285, 285), 1u);
    EXPECT_EQ(OwningMonitor(kThree, {-700, 300}, 300, 300), 1u);
    EXPECT_EQ(OwningMonitor(kThree, {100, -500}, 300, 300), 2u);
    EXPECT_EQ(OwningMonitor(kThree, {100, 100}, 300, 300), 0u);
}

TEST(OwningMonitor, IsTheNearestWhenNoneHoldsTheCentre) {
    // Below the shorter primary: nearer to it (132 pixels) than to the second (1316).
    EXPECT_EQ(OwningMonitor(kTwo, {0, 850}, 100, 100), 0u);
    // Below the primary's right end: nearer to the taller second monitor.
    EXPECT_EQ(OwningMonitor(kTwo, {1250, 950}, 100, 100), 1u);
    // Below the left monitor of three and far to the right of all.
    EXPECT_EQ(OwningMonitor(kThree, {-900, 1100}, 100, 100), 1u);
    EXPECT_EQ(OwningMonitor(kThree, {INT_MAX, INT_MIN}, 285, 285), 2u);
    EXPECT_EQ(OwningMonitor(kThree, {INT_MIN, INT_MAX}, 285, 285), 1u);
    EXPECT_EQ(OwningMonitor({}, {0, 0}, 285, 285), std::nullopt);
}

TEST(KeepOnMonitors, BringsAWindowInsideTheMonitorItBelongsToAtOnce) {
    // Inside already, 5 or 6 pixels from the edges: it stays.
    EXPECT_EQ(KeepOnMonitors(kTwo, {540, 300}, 285, 285), (Place{540, 300}));
    EXPECT_EQ(KeepOnMonitors(kPrimary, {1075, 477}, 285, 285), (Place{1075, 477}));
    // Straddling the seam, its centre on the second monitor; partly off the primary.
    EXPECT_EQ(KeepOnMonitors(kTwo, {1300, 100}, 285, 285), (Place{1371, 100}));
    EXPECT_EQ(KeepOnMonitors(kPrimary, {-284, 100}, 285, 285), (Place{5, 100}));
    EXPECT_EQ(KeepOnMonitors(kThree, {-1500, -200}, 285, 285), (Place{-1275, 5}));
}

TEST(KeepOnMonitors, BringsAWindowWhoseMonitorIsGoneInsideTheNearest) {
    // Settled on the second monitor, which is then unplugged: the nearest place on the
    // primary, 5 pixels inside its right edge.
    EXPECT_EQ(KeepOnMonitors(kPrimary, {2996, 400}, 285, 285), (Place{1076, 400}));
    EXPECT_EQ(KeepOnMonitors(kPrimary, {2996, 790}, 285, 285), (Place{1076, 478}));
    // In the corner of the virtual screen that no monitor covers.
    EXPECT_EQ(KeepOnMonitors(kTwo, {100, 800}, 285, 285), (Place{100, 478}));
    // Left of and above the primary, on monitors that are gone.
    EXPECT_EQ(KeepOnMonitors(kPrimary, {-1000, -2000}, 285, 285), (Place{5, 5}));
    EXPECT_EQ(KeepOnMonitors(kThree, {-3000, 500}, 285, 285), (Place{-1275, 500}));
    EXPECT_EQ(KeepOnMonitors(kThree, {500, -3000}, 285, 285), (Place{500, -1435}));
    // The ends of the coordinates.
    EXPECT_EQ(KeepOnMonitors(kPrimary, {INT_MAX, INT_MIN}, 105, 105), (Place{1256, 5}));
    EXPECT_EQ(KeepOnMonitors(kPrimary, {INT_MIN, INT_MAX}, 105, 105), (Place{5, 658}));
}

TEST(KeepOnMonitors, PutsAClockLargerThanItsMonitorAtTheTopLeftMargin) {
    // Size 50 on the 1080-high monitor, brought back to the 768-high primary: too
    // tall for it, not too wide.
    EXPECT_EQ(KeepOnMonitors(kPrimary, {1371, 0}, 1080, 1080), (Place{281, 5}));
    EXPECT_EQ(KeepOnMonitors(kPrimary, {-3000, 3000}, 2000, 2000), (Place{5, 5}));
}

TEST(StartMonitor, IsTheMonitorTheSavedPlaceIsOn) {
    EXPECT_EQ(StartMonitor(Saved(2863, 6, 19), kTwo), 1u);
    EXPECT_EQ(StartMonitor(Saved(540, 6, 19), kTwo), 0u);
    // Decided with the primary's 285 pixels (centre x 1365.5), not the second's 418.
    EXPECT_EQ(StartMonitor(Saved(1223, 6, 19), kTwo), 0u);
    EXPECT_EQ(StartMonitor(Saved(-1000, 100, 19), kThree), 1u);
    EXPECT_EQ(StartMonitor(Saved(2863, 6, 19), kPrimary), 0u);
}

TEST(StartPlace, IsTheSavedPlaceUnlessNothingOfTheClockWouldShow) {
    // Size 19 on the second monitor is 418 pixels.
    EXPECT_EQ(StartPlace(Saved(2863, 6, 19, 418), kTwo, 1), (Place{2863, 6}));
    // That monitor unplugged: at once inside the primary, 5 pixels in from its right edge.
    EXPECT_EQ(StartPlace(Saved(2863, 6, 19, 285), kPrimary, 0), (Place{1076, 6}));
    // A place that still shows a column keeps it: the edge keeping brings it in.
    EXPECT_EQ(StartPlace(Saved(1365, 6, 19, 285), kPrimary, 0), (Place{1365, 6}));
    EXPECT_EQ(StartPlace(Saved(1366, 6, 19, 285), kPrimary, 0), (Place{1076, 6}));
    EXPECT_EQ(StartPlace(Saved(-1000, -1000, 19, 418), kThree, 2), (Place{-315, -1000}));
    // No window (a size of 0 or less): where saved while that point is on a monitor.
    EXPECT_EQ(StartPlace(Saved(200, 100, -3, -45), kPrimary, 0), (Place{200, 100}));
    EXPECT_EQ(StartPlace(Saved(INT_MAX, INT_MAX, INT_MIN, INT_MIN), kPrimary, 0),
              (Place{1361, 763}));
}

TEST(CoversMonitor, OnlyAWindowOverTheWholeMonitor) {
    const Rect second = kTwo[1];
    EXPECT_TRUE(CoversMonitor(second, second));
    EXPECT_TRUE(CoversMonitor({1300, -8, 3300, 1090}, second)); // with borders beyond
    // One column or row short at each edge.
    EXPECT_FALSE(CoversMonitor({1366, 0, 3286, 1079}, second)); // bottom
    EXPECT_FALSE(CoversMonitor({1367, 0, 3286, 1080}, second)); // left
    EXPECT_FALSE(CoversMonitor({1366, 0, 3285, 1080}, second)); // right
    EXPECT_FALSE(CoversMonitor({1366, 1, 3286, 1080}, second)); // top
    EXPECT_FALSE(CoversMonitor(kTwo[0], second));
    EXPECT_TRUE(CoversMonitor({-1280, 0, 0, 1024}, kThree[1]));
    EXPECT_FALSE(CoversMonitor({-1280, 0, 0, 1024}, kThree[0]));
}

TEST(HidesOverFullScreen, WhenAskedToAndAProgramInFrontCoversTheClocksMonitor) {
    const Rect second = kTwo[1];
    EXPECT_TRUE(HidesOverFullScreen(1, second, second));
    EXPECT_FALSE(HidesOverFullScreen(0, second, second));
    EXPECT_FALSE(HidesOverFullScreen(1, std::nullopt, second));
    EXPECT_FALSE(HidesOverFullScreen(1, second, kTwo[0]));
}

TEST(ScaleToDpi, ScalesLengthsGivenAt96Dpi) {
    for (const int32_t length : {0, 1, 8, 77, 410, -13}) {
        EXPECT_EQ(ScaleToDpi(length, 96), length);
    }
    EXPECT_EQ(ScaleToDpi(8, 144), 12);
    EXPECT_EQ(ScaleToDpi(410, 144), 615);
    EXPECT_EQ(ScaleToDpi(75, 144), 113); // 112.5: halves away from zero
    EXPECT_EQ(ScaleToDpi(-13, 144), -20);
    EXPECT_EQ(ScaleToDpi(77, 120), 96);
    EXPECT_EQ(ScaleToDpi(224, 192), 448);
    EXPECT_EQ(ScaleToDpi(150, 0), 150);
    EXPECT_EQ(ScaleToDpi(INT_MAX, 192), INT_MAX);
}
