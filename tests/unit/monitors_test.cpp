#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "clock_window/monitors.h"

using namespace lumivane;

namespace {

// The primary 1366 x 768 display and a 1920 x 1080 one to its right, as Wine reports
// them for the two-monitor test display.
const std::vector<ScreenRect> kTwo{{0, 0, 1366, 768}, {1366, 0, 3286, 1080}};
// The primary 1920 x 1080, a 1280 x 1024 one left of it, a 2560 x 1440 one above it.
const std::vector<ScreenRect> kThree{
    {0, 0, 1920, 1080}, {-1280, 0, 0, 1024}, {-320, -1440, 2240, 0}};
// The primary alone: the second monitor is gone.
const std::vector<ScreenRect> kPrimary{{0, 0, 1366, 768}};

} // namespace

TEST(OwningMonitor, IsTheMonitorThatHoldsTheCentre) {
    EXPECT_EQ(OwningMonitor(kTwo, SquareAt(1000, 100, 285)), 0u); // centre x 1142.5
    EXPECT_EQ(OwningMonitor(kTwo, SquareAt(1300, 100, 285)), 1u); // centre x 1442.5
    // Centre at 1365.5 and at 1366.5: the pixel columns on either side of the seam.
    EXPECT_EQ(OwningMonitor(kTwo, SquareAt(1223, 0, 285)), 0u);
    EXPECT_EQ(OwningMonitor(kTwo, SquareAt(1224, 0, 285)), 1u);
    EXPECT_EQ(OwningMonitor(kThree, SquareAt(-700, 300, 300)), 1u);
    EXPECT_EQ(OwningMonitor(kThree, SquareAt(100, -500, 300)), 2u);
    EXPECT_EQ(OwningMonitor(kThree, SquareAt(100, 100, 300)), 0u);
}

TEST(OwningMonitor, IsTheNearestWhenNoneHoldsTheCentre) {
    // Below the shorter primary: nearer to it (132 pixels) than to the second (1316).
    EXPECT_EQ(OwningMonitor(kTwo, SquareAt(0, 850, 100)), 0u);
    // Below the primary's right end: nearer to the taller second monitor.
    EXPECT_EQ(OwningMonitor(kTwo, SquareAt(1250, 950, 100)), 1u);
    // Below the left monitor of three and far to the right of all.
    EXPECT_EQ(OwningMonitor(kThree, SquareAt(-900, 1100, 100)), 1u);
    EXPECT_EQ(OwningMonitor(kThree, SquareAt(INT_MAX, INT_MIN, 285)), 2u);
    EXPECT_EQ(OwningMonitor(kThree, SquareAt(INT_MIN, INT_MAX, 285)), 1u);
    EXPECT_EQ(OwningMonitor({}, SquareAt(0, 0, 285)), std::nullopt);
}

TEST(KeepOnMonitors, LeavesAWindowThatShowsWhereItIs) {
    // Straddling the seam, and one column on the primary: the edge keeping does the rest.
    EXPECT_EQ(KeepOnMonitors(kTwo, SquareAt(1300, 100, 285)), (ScreenPoint{1300, 100}));
    EXPECT_EQ(KeepOnMonitors(kPrimary, SquareAt(-284, 100, 285)), (ScreenPoint{-284, 100}));
    EXPECT_EQ(KeepOnMonitors(kThree, SquareAt(-1500, -200, 285)), (ScreenPoint{-1500, -200}));
}

TEST(KeepOnMonitors, BringsAWindowThatShowsNowhereInsideTheNearestMonitorAtOnce) {
    // Settled on the second monitor, which is then unplugged: the nearest place on the
    // primary, 5 pixels inside its right edge.
    EXPECT_EQ(KeepOnMonitors(kPrimary, SquareAt(2996, 400, 285)), (ScreenPoint{1076, 400}));
    EXPECT_EQ(KeepOnMonitors(kPrimary, SquareAt(2996, 790, 285)), (ScreenPoint{1076, 478}));
    // In the corner of the virtual screen that no monitor covers.
    EXPECT_EQ(KeepOnMonitors(kTwo, SquareAt(100, 800, 285)), (ScreenPoint{100, 478}));
    // Left of and above the primary, on monitors that are gone.
    EXPECT_EQ(KeepOnMonitors(kPrimary, SquareAt(-1000, -2000, 285)), (ScreenPoint{5, 5}));
    EXPECT_EQ(KeepOnMonitors(kThree, SquareAt(-3000, 500, 285)), (ScreenPoint{-1275, 500}));
    EXPECT_EQ(KeepOnMonitors(kThree, SquareAt(500, -3000, 285)), (ScreenPoint{500, -1435}));
    // The ends of the coordinates.
    EXPECT_EQ(KeepOnMonitors(kPrimary, SquareAt(INT_MAX, INT_MIN, 105)), (ScreenPoint{1256, 5}));
    EXPECT_EQ(KeepOnMonitors(kPrimary, SquareAt(INT_MIN, INT_MAX, 105)), (ScreenPoint{5, 658}));
}

TEST(KeepOnMonitors, PutsAClockLargerThanItsMonitorAtTheTopLeftMargin) {
    // Size 50 on the 1080-high monitor, brought back to the 768-high primary: too
    // tall for it, not too wide.
    EXPECT_EQ(KeepOnMonitors(kPrimary, SquareAt(1371, 0, 1080)), (ScreenPoint{281, 5}));
    EXPECT_EQ(KeepOnMonitors(kPrimary, SquareAt(-3000, 3000, 2000)), (ScreenPoint{5, 5}));
}

TEST(PlaceAtStart, TakesTheSizeOfTheMonitorTheStoredPlaceIsOn) {
    // Size 19 is 285 pixels on the primary and 418 on the 1080-high monitor.
    const StartPlacement second = PlaceAtStart(kTwo, 2863, 6, 19);
    EXPECT_EQ(second.monitor, 1u);
    EXPECT_EQ(second.place, (ScreenPoint{2863, 6}));
    const StartPlacement primary = PlaceAtStart(kTwo, 540, 6, 19);
    EXPECT_EQ(primary.monitor, 0u);
    EXPECT_EQ(primary.place, (ScreenPoint{540, 6}));
    // Decided with the primary's 285 pixels, centre x 1365.5: still the primary.
    EXPECT_EQ(PlaceAtStart(kTwo, 1223, 6, 19).monitor, 0u);
    EXPECT_EQ(PlaceAtStart(kThree, -1000, 100, 19).monitor, 1u);
}

TEST(PlaceAtStart, AStoredPlaceOnAMonitorThatIsGoneStartsInsideTheNearest) {
    const StartPlacement start = PlaceAtStart(kPrimary, 2863, 6, 19);
    EXPECT_EQ(start.monitor, 0u);
    EXPECT_EQ(start.place, (ScreenPoint{1076, 6}));
    // A place that still shows a column keeps it: the edge keeping brings it in.
    EXPECT_EQ(PlaceAtStart(kPrimary, 1365, 6, 19).place, (ScreenPoint{1365, 6}));
    EXPECT_EQ(PlaceAtStart(kPrimary, 1366, 6, 19).place, (ScreenPoint{1076, 6}));
    // A size of 0 or less has no window: it starts where it is stored if that is on a
    // monitor, and inside the nearest one otherwise.
    EXPECT_EQ(PlaceAtStart(kPrimary, 200, 100, -3).place, (ScreenPoint{200, 100}));
    EXPECT_EQ(PlaceAtStart(kPrimary, INT_MAX, INT_MAX, INT_MIN).place, (ScreenPoint{1361, 763}));
}

TEST(CoversMonitor, OnlyAWindowOverTheWholeMonitor) {
    const ScreenRect second = kTwo[1];
    EXPECT_TRUE(CoversMonitor(second, second));
    EXPECT_TRUE(CoversMonitor({1300, -8, 3300, 1090}, second)); // with borders beyond
    EXPECT_FALSE(CoversMonitor({1366, 0, 3286, 1079}, second)); // a row short
    EXPECT_FALSE(CoversMonitor({1367, 0, 3286, 1080}, second));
    EXPECT_FALSE(CoversMonitor(kTwo[0], second));
    EXPECT_TRUE(CoversMonitor({-1280, 0, 0, 1024}, kThree[1]));
    EXPECT_FALSE(CoversMonitor({-1280, 0, 0, 1024}, kThree[0]));
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
