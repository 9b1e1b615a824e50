// Displays from 1 pixel high to 8640 and from 1 pixel wide up: start-up, the
// settings window's size bar and the clock's frames either draw a clock or leave
// it empty, without an error and without reading or writing past a buffer or
// table (the native build runs this under the address and undefined-behaviour
// sanitizers).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <tuple>

#include "tests/core/settings/extreme_startup.h"

using namespace lumivane;
using namespace lumivane::extreme;

namespace {

constexpr int32_t kWidths[] = {1, 2, 50, 1366, 7680};

// Every table the renderers index reaches across the current clock.
void ExpectTablesCoverTheClock(const ClockState& state) {
    if (state.Diameter <= 0) {
        return;
    }
    const size_t side = static_cast<size_t>(state.Diameter / 2 + 1);
    EXPECT_GE(static_cast<size_t>(state.QuadrantSide), side);
    EXPECT_GE(state.ShadingTable.size(), side * side);
    EXPECT_GE(state.DiscSpans.size(), static_cast<size_t>(state.Diameter));
    for (const HandSampleTable* hand :
         {&state.HourSamples, &state.MinuteSamples, &state.SecondSamples}) {
        const int32_t length = hand == &state.HourSamples     ? state.HourHandLength
                               : hand == &state.MinuteSamples ? state.MinuteHandLength
                                                              : state.SecondHandLength;
        if (length > 0) {
            EXPECT_GE(hand->Rows(), std::min(length, state.Diameter + 1) + 1);
        }
    }
}

// A clock tick: the frame is drawn exactly when the clock has a diameter; what
// it draws stays inside the disc.
void ExpectTick(ClockState& state, uint16_t hour, uint16_t minute, uint16_t second,
                bool paint = false, Tick tick = Tick::Frame) {
    const bool drawn = DrawTick(state, hour, minute, second, paint, tick);
    ASSERT_EQ(drawn, state.Diameter > 0) << "Diameter " << state.Diameter;
    if (!drawn) {
        EXPECT_TRUE(state.FrameBuffer->Empty());
        return;
    }
    TDIB& frame = *state.FrameBuffer;
    ASSERT_EQ(frame.Width(), state.Diameter);
    ASSERT_EQ(frame.Height(), state.Diameter);
    if (state.Diameter >= 100) {
        const int32_t last = state.Diameter - 1;
        EXPECT_TRUE(IsBlack(frame, 0, 0) && IsBlack(frame, last, 0) && IsBlack(frame, 0, last) &&
                    IsBlack(frame, last, last))
            << "drawn outside the disc";
    }
}

StoredSettings KeyAbsent() {
    StoredSettings stored;
    stored.keyPresent = false;
    return stored;
}

StoredSettings WithSize(int32_t size) {
    StoredSettings stored = UsualSettings();
    stored.values[kSize] = size;
    return stored;
}

std::string DisplayName(Display display) {
    return std::to_string(display.width) + "x" + std::to_string(display.height);
}

// Start-up from `stored`, the settings window, and a full frame followed by
// `handTicks` ticks that move the hands round the dial.
// A start-up Diameter, when given, is checked before the settings window moves the size bar.
void StartAndTick(Display display, const StoredSettings& stored, int32_t handTicks,
                  std::optional<int32_t> startDiameter = std::nullopt) {
    try {
        ClockState state;
        StartClock(state, display, stored);
        EXPECT_LE(state.Diameter, display.height);
        if (startDiameter) {
            EXPECT_EQ(state.Diameter, *startDiameter);
        }
        ExpectTablesCoverTheClock(state);
        OpenBars(state, display.height);
        ExpectTablesCoverTheClock(state);
        ExpectTick(state, 0, 0, 0, true);
        for (int32_t i = 0; i < handTicks && !testing::Test::HasFatalFailure(); ++i) {
            ExpectTick(state, static_cast<uint16_t>(i * 7 % 24), static_cast<uint16_t>(i * 13 % 60),
                       static_cast<uint16_t>(i * 17 % 60), false, Tick::Hands);
        }
    } catch (const std::exception& error) {
        ADD_FAILURE() << error.what();
    }
}

} // namespace

TEST(OddDisplays, ScreenScaleIsZeroUpTo25PixelsHigh) {
    for (int32_t height = 1; height <= 25; ++height) {
        EXPECT_EQ(ScreenScaleFor(height), 0) << height;
    }
    EXPECT_EQ(ScreenScaleFor(26), 1);
    EXPECT_EQ(ScreenScaleFor(74), 1);
    EXPECT_EQ(ScreenScaleFor(75), 2); // 1.5 goes to the even 2
    EXPECT_EQ(ScreenScaleFor(125), 2);
    EXPECT_EQ(ScreenScaleFor(1080), 22);
    EXPECT_EQ(ScreenScaleFor(8640), 173);
}

TEST(OddDisplays, ScaleZeroLeavesTheClockEmptyWhateverTheSize) {
    for (const int32_t size : {INT_MIN, -1, 0, 1, 5, 19, 50, INT_MAX}) {
        SCOPED_TRACE("Size " + std::to_string(size));
        ClockState state;
        StartClock(state, {50, 25}, WithSize(size));
        EXPECT_EQ(state.ScreenScale, 0);
        EXPECT_EQ(state.Diameter, 0);
        OpenBars(state, 25);
        SetBar(state, Bar::Size, 50, 25);
        EXPECT_EQ(state.Diameter, 0);
        EXPECT_FALSE(DrawTick(state, 3, 0, 0, true));
        EXPECT_TRUE(state.FrameBuffer->Empty());
        EXPECT_TRUE(state.BackgroundBuffer->Empty());
    }
}

TEST(OddDisplays, FirstStartCentresTheClockOnAnyWidth) {
    for (int32_t height = 1; height <= 60; ++height) {
        for (const int32_t width : kWidths) {
            const Display display{width, height};
            SCOPED_TRACE(DisplayName(display));
            ClockState state;
            StartClock(state, display, KeyAbsent());
            EXPECT_EQ(state.Size, 19);
            EXPECT_EQ(state.SavedTop, 0);
            // Left is Round((W - Diameter) / 2): twice it lies within 1 of W - Diameter.
            const int64_t twice = 2 * int64_t{state.SavedLeft};
            EXPECT_LE(twice - (width - state.Diameter), 1);
            EXPECT_GE(twice - (width - state.Diameter), -1);
        }
    }
    ClockState laptop;
    StartClock(laptop, {1366, 768}, KeyAbsent());
    EXPECT_EQ(laptop.SavedLeft, 540); // Round(683 - 142.5), the half to even
    ClockState narrow;
    StartClock(narrow, {1, 768}, KeyAbsent());
    EXPECT_EQ(narrow.SavedLeft, -142); // Round(0.5 - 142.5)
}

TEST(OddDisplays, EveryHeightUpTo60DrawsOrStaysEmpty) {
    for (int32_t height = 1; height <= 60; ++height) {
        for (const StoredSettings& stored : {KeyAbsent(), WithSize(1), WithSize(2), WithSize(5),
                                             WithSize(50), WithSize(INT_MAX), WithSize(INT_MIN)}) {
            const Display display{50, height};
            SCOPED_TRACE(DisplayName(display) + ", Size " +
                         (stored.keyPresent ? std::to_string(*stored.values[kSize]) : "default"));
            StartAndTick(display, stored, 12);
            if (HasFatalFailure()) {
                return;
            }
        }
    }
}

TEST(OddDisplays, SmallClocksInRangeDrawSomething) {
    // A clock of 2 pixels already lights a pixel of its disc.
    for (const auto& [height, size, diameter] :
         {std::tuple{26, 2, 2}, std::tuple{26, 19, 19}, std::tuple{40, 50, 40},
          std::tuple{60, 30, 30}, std::tuple{75, 5, 10}}) {
        ClockState state;
        StartClock(state, {50, height}, WithSize(size));
        OpenBars(state, height);
        if (state.Size != size) { // the size bar starts at 5
            SetBar(state, Bar::Size, size, height);
        }
        ASSERT_TRUE(DrawTick(state, 10, 10, 30, true));
        EXPECT_EQ(state.Diameter, diameter) << height << " " << size;
        EXPECT_TRUE(AnyLitPixel(*state.FrameBuffer)) << height << " " << size;
    }
}

TEST(OddDisplays, TallerDisplaysUpTo1000) {
    for (const int32_t height :
         {61, 74, 75, 76, 99, 100, 101, 124, 125, 126, 199, 200, 201, 600, 625, 675, 768, 1000}) {
        SCOPED_TRACE("height " + std::to_string(height));
        StartAndTick({1366, height}, KeyAbsent(), 5);
        StartAndTick({1, height}, WithSize(INT_MAX), 5);
        if (HasFatalFailure()) {
            return;
        }
    }
}

TEST(OddDisplays, ClocksLargerThan1001PixelsStayWithinTheirTables) {
    // 1001 x 1001 was once the largest table; a display this tall gives larger clocks.
    for (const auto& [height, size, diameter] :
         {std::tuple{1001, 51, 1001}, std::tuple{1002, 50, 1000}, std::tuple{1080, 46, 1012},
          std::tuple{1080, 50, 1080}, std::tuple{2160, 19, 817}, std::tuple{2160, 50, 2150}}) {
        const Display display{3840, height};
        SCOPED_TRACE(DisplayName(display) + ", Size " + std::to_string(size));
        StartAndTick(display, WithSize(size), 3, diameter);
    }
}

TEST(OddDisplays, SizeBarAcrossItsRangeOnTallDisplays) {
    // Growing the clock grows the tables; shrinking it leaves them as large as they were.
    for (const int32_t height : {1002, 4320, 8640}) {
        const Display display{7680, height};
        SCOPED_TRACE(DisplayName(display));
        try {
            ClockState state;
            StartClock(state, display, WithSize(5));
            OpenBars(state, height);
            ExpectTick(state, 1, 2, 3, true);
            for (const int32_t size : {6, 5, 12, 7}) {
                SetBar(state, Bar::Size, size, height);
                ExpectTablesCoverTheClock(state);
                ExpectTick(state, static_cast<uint16_t>(size), 30, 45);
            }
        } catch (const std::exception& error) {
            ADD_FAILURE() << error.what();
        }
    }
}

TEST(OddDisplays, EightKClockFillsTheDisplayHeight) {
    // The largest clock: 8640 pixels across, a quadrant table of 4321 x 4321 entries.
    // Start-up and one frame only (the settings window would recompute the same
    // tables): each pass over this clock takes seconds under the sanitizers.
    const Display display{7680, 8640};
    ClockState state;
    StartClock(state, display, WithSize(INT_MAX));
    EXPECT_EQ(state.Diameter, 8640);
    EXPECT_EQ(state.Radius, 4320);
    EXPECT_EQ(state.Thickness, 6);
    ExpectTablesCoverTheClock(state);
    ExpectTick(state, 4, 20, 0, true);
    EXPECT_TRUE(AnyLitPixel(*state.FrameBuffer));
}
