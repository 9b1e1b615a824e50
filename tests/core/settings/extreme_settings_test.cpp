// Every stored setting from INT_MIN to INT_MAX through the program's start-up,
// its settings window and its frames: no crash, no error, nothing read or
// written past a buffer or table (the native build runs this under the address
// and undefined-behaviour sanitizers).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/core/settings/extreme_startup.h"

using namespace lumivane;
using namespace lumivane::extreme;

namespace {

// Knuth's MMIX LCG: the same numbers on every compiler and platform.
class Lcg {
  public:
    explicit Lcg(uint64_t seed) : state_(seed) {}
    uint32_t Next() {
        state_ = state_ * 6364136223846793005u + 1442695040888963407u;
        return static_cast<uint32_t>(state_ >> 32);
    }
    int32_t AnyInt32() { return static_cast<int32_t>(Next()); }
    int32_t Between(int32_t low, int32_t high) {
        const uint32_t span = static_cast<uint32_t>(int64_t{high} - low + 1);
        return static_cast<int32_t>(low + int64_t{Next() % span});
    }

  private:
    uint64_t state_;
};

bool InRange(const ClockState& state) {
    return state.Bright >= 0 && state.Bright <= 30 && state.Size >= 5 && state.Size <= 50 &&
           state.Algoritm >= 0 && state.Algoritm <= 5 && state.Contrast >= 0 &&
           state.Contrast <= 15;
}

// What every state the program can reach keeps, whatever was stored.
void ExpectSoundGeometry(const ClockState& state, Display display) {
    // Round(H / 50) lies within half a step of H / 50.
    const int64_t scale = state.ScreenScale;
    EXPECT_LE(50 * scale - display.height, 25);
    EXPECT_LE(display.height - 50 * scale, 25);

    const int64_t product = int64_t{state.Size} * state.ScreenScale;
    if (product >= display.height) {
        EXPECT_EQ(state.Diameter, display.height);
    } else if (product > 0) {
        EXPECT_EQ(state.Diameter, product);
    } else {
        EXPECT_LE(state.Diameter, 0);
    }
    if (state.Diameter > 0) {
        EXPECT_GE(state.Thickness, 1);
        EXPECT_LE(state.Thickness, 6);
    }
    const int32_t interval = FrameIntervalRule(state.Size);
    EXPECT_TRUE(interval == 100 || interval == 200 || interval == 250 || interval == 500 ||
                interval == 1000)
        << interval;
}

struct RunResult {
    int32_t framesDrawn = 0;
    std::string error; // what escaped, empty when nothing did
};

// How many clock ticks a run takes, and which of them draw the whole frame; the
// others draw the hands alone, which is all that the time changes.
struct Ticks {
    int32_t asLoaded = 10; // before the settings window
    int32_t afterSettingsWindow = 200;
    int32_t frameEvery = 1;
};

// `ticks` clock ticks at random times of day. A clock of 100 pixels or more
// keeps its corners black: nothing is drawn outside the disc.
void RunTicks(ClockState& state, Lcg& random, int32_t ticks, int32_t frameEvery,
              RunResult& result) {
    for (int32_t i = 0; i < ticks; ++i) {
        const auto hour = static_cast<uint16_t>(random.Between(0, 23));
        const auto minute = static_cast<uint16_t>(random.Between(0, 59));
        const auto second = static_cast<uint16_t>(random.Between(0, 59));
        const bool drawn = DrawTick(state, hour, minute, second, i == 0,
                                    i % frameEvery == 0 ? Tick::Frame : Tick::Hands);
        ASSERT_EQ(drawn, state.Diameter > 0) << "tick " << i << ", Diameter " << state.Diameter;
        if (!drawn) {
            continue;
        }
        ++result.framesDrawn;
        TDIB& frame = *state.FrameBuffer;
        if (state.Diameter >= 100) {
            const int32_t last = state.Diameter - 1;
            ASSERT_TRUE(IsBlack(frame, 0, 0) && IsBlack(frame, last, 0) &&
                        IsBlack(frame, 0, last) && IsBlack(frame, last, last))
                << "tick " << i << " wrote outside the disc";
        }
    }
}

// The program's road: the clock window's creation, the settings window's
// creation, and the clock ticks. A few ticks come before the settings window as
// well, with the values as loaded: the renderers meet such values when a bar
// keeps one below its range, and in lumivane-render.
RunResult RunProgram(Display display, const StoredSettings& stored, Ticks ticks, uint64_t seed) {
    RunResult result;
    Lcg random(seed);
    try {
        ClockState state;
        StartClock(state, display, stored);
        ExpectSoundGeometry(state, display);
        if (state.Diameter > 0) {
            EXPECT_EQ(state.FrameBuffer->Width(), state.Diameter);
            EXPECT_EQ(state.FrameBuffer->Height(), state.Diameter);
        } else {
            EXPECT_TRUE(state.FrameBuffer->Empty());
            EXPECT_TRUE(state.BackgroundBuffer->Empty());
        }
        RunTicks(state, random, ticks.asLoaded, ticks.frameEvery, result);
        if (testing::Test::HasFatalFailure()) {
            return result;
        }

        OpenBars(state, display.height);
        ExpectSoundGeometry(state, display);
        RunTicks(state, random, ticks.afterSettingsWindow, ticks.frameEvery, result);
        if (InRange(state) && state.Diameter >= 2) {
            EXPECT_TRUE(AnyLitPixel(*state.FrameBuffer)) << "a clock in range draws something";
        }
    } catch (const std::exception& error) {
        result.error = error.what();
    }
    return result;
}

// The ends of the 32-bit range, 0 and its neighbours, 65536 (where 16-bit
// positions wrap), a pseudo-random sample over the whole range and one near 0,
// and the values that matter to this setting.
std::vector<int32_t> SampleValues(uint64_t seed, const std::vector<int32_t>& nearTheRange) {
    std::vector<int32_t> values = {INT_MIN, INT_MIN + 1, -65536,      -1,     0,
                                   1,       65536,       INT_MAX - 1, INT_MAX};
    Lcg random(seed);
    for (int i = 0; i < 5; ++i) {
        values.push_back(random.AnyInt32());
    }
    for (int i = 0; i < 3; ++i) {
        values.push_back(random.Between(-64, 64));
    }
    values.insert(values.end(), nearTheRange.begin(), nearTheRange.end());
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    return values;
}

// Each sampled value of one stored value, with the others as a second start finds them.
void SweepOneValue(StoredIndex which, const std::vector<int32_t>& nearTheRange, Ticks ticks = {}) {
    constexpr Display kSmallDisplay{160, 100}; // ScreenScale 2: clocks up to 100 pixels
    for (const int32_t value : SampleValues(0x5eed0000u + which, nearTheRange)) {
        SCOPED_TRACE(std::string(kStoredValues[which].name) + " " + std::to_string(value));
        StoredSettings stored = UsualSettings();
        stored.values[which] = value;
        const RunResult result = RunProgram(kSmallDisplay, stored, ticks, value);
        EXPECT_EQ(result.error, "");
        if (testing::Test::HasFatalFailure()) {
            return;
        }
    }
}

} // namespace

TEST(ExtremeSettings, BrightFromIntMinToIntMax) {
    SweepOneValue(kBright, {-31, -30, -1, 0, 30, 31, 60});
}

TEST(ExtremeSettings, SizeFromIntMinToIntMax) {
    // Around the ends of the range, and where Size x ScreenScale (2 here) leaves 32 bits.
    SweepOneValue(kSize,
                  {4, 5, 50, 51, INT_MAX / 2, INT_MAX / 2 + 1, INT_MIN / 2, INT_MIN / 2 - 1});
}

TEST(ExtremeSettings, AlgoritmFromIntMinToIntMax) {
    // -5 makes the hand style's divisor zero; INT_MAX - 4 takes it past 32 bits.
    SweepOneValue(kAlgoritm, {-6, -5, -4, -1, 0, 5, 6, INT_MIN + 5, INT_MAX - 5, INT_MAX - 4});
}

TEST(ExtremeSettings, ContrastFromIntMinToIntMax) {
    SweepOneValue(kContrast, {-16, -15, -1, 0, 15, 16, 30});
}

// The position and the start count reach no renderer (a start count of 0 only
// brings the defaults): fewer ticks show that.
TEST(ExtremeSettings, PositionFromIntMinToIntMax) {
    SweepOneValue(kLeft, {-160, 159, 160}, {2, 25, 1});
    SweepOneValue(kTop, {-100, 99, 100}, {2, 25, 1});
}

TEST(ExtremeSettings, StartCountFromIntMinToIntMax) {
    SweepOneValue(kStart1, {-2, -1, 0, 1, 2, 3});
}

TEST(ExtremeSettings, LargeDisplaysWithExtremeValues) {
    // One whole frame on each side of the settings window, then the hands alone:
    // a clock 2160 pixels across shades 3.7 million pixels a frame.
    struct Case {
        Display display;
        StoredIndex which;
        int32_t value;
    };
    for (const Case& c :
         {Case{{3840, 2160}, kSize, INT_MAX}, Case{{3840, 2160}, kSize, 51},
          Case{{3840, 2160}, kBright, INT_MAX}, Case{{3840, 2160}, kAlgoritm, -5},
          Case{{7680, 4320}, kSize, INT_MIN}, Case{{7680, 4320}, kContrast, INT_MIN}}) {
        SCOPED_TRACE(std::to_string(c.display.width) + "x" + std::to_string(c.display.height) +
                     ", " + kStoredValues[c.which].name + " " + std::to_string(c.value));
        StoredSettings stored = UsualSettings();
        stored.values[c.which] = c.value;
        const RunResult result = RunProgram(c.display, stored, {1, 20, 20}, 7);
        EXPECT_EQ(result.error, "");
    }
}

TEST(ExtremeSettings, SizeTimesScreenScaleStaysWithin32Bits) {
    // 8640 / 50 = 172.8: ScreenScale 173; 12413735 x 173 is the first product past INT_MAX.
    EXPECT_EQ(ScreenScaleFor(8640), 173);
    EXPECT_EQ(DiameterFor(12413734, 173, 8640), 8640);
    EXPECT_EQ(DiameterFor(12413735, 173, 8640), 8640);
    EXPECT_EQ(DiameterFor(INT_MAX, 173, 8640), 8640);
    EXPECT_LE(DiameterFor(-12413736, 173, 8640), 0);
    EXPECT_LE(DiameterFor(INT_MIN, 173, 8640), 0);
    EXPECT_EQ(DiameterFor(INT_MAX / 2 + 1, 2, 100), 100);
    EXPECT_LE(DiameterFor(INT_MIN / 2 - 1, 2, 100), 0);
    EXPECT_EQ(DiameterFor(49, 2, 100), 98);
    EXPECT_EQ(DiameterFor(50, 2, 100), 100);
}

TEST(ExtremeSettings, SizeBeyondTheBarIsClampedOnlyAboveItsRange) {
    constexpr Display kLaptop{1366, 768}; // ScreenScale 15
    StoredSettings stored = UsualSettings();
    stored.values[kSize] = INT_MAX;
    ClockState large;
    StartClock(large, kLaptop, stored);
    EXPECT_EQ(large.Diameter, 768);
    EXPECT_EQ(large.Radius, 384);
    EXPECT_EQ(large.Thickness, 6);
    EXPECT_EQ(large.HourHandLength, 362);   // Round(422.4) - 60
    EXPECT_EQ(large.MinuteHandLength, 420); // 480 - 60
    EXPECT_EQ(large.SecondHandLength, 478); // Round(537.6) - 60
    OpenBars(large, kLaptop.height);
    EXPECT_EQ(large.Size, 50);
    EXPECT_EQ(large.Diameter, 750);
    EXPECT_TRUE(DrawTick(large, 10, 8, 30, true));
    EXPECT_EQ(large.FrameBuffer->Width(), 750);

    // Below the range the bar shows its design position 5 and the setting stays:
    // the clock stays empty until the bar is moved.
    stored.values[kSize] = INT_MIN;
    ClockState empty;
    StartClock(empty, kLaptop, stored);
    OpenBars(empty, kLaptop.height);
    EXPECT_EQ(empty.Size, INT_MIN);
    EXPECT_FALSE(DrawTick(empty, 10, 8, 30, true));
    SetBar(empty, Bar::Size, 19, kLaptop.height);
    EXPECT_TRUE(DrawTick(empty, 10, 8, 31));
    EXPECT_EQ(empty.FrameBuffer->Width(), 285);
    EXPECT_EQ(empty.BackgroundBuffer->Height(), 285);
}

TEST(ExtremeSettings, BarsMovedAcrossTheirRangesAfterAnExtremeStart) {
    constexpr Display kDisplay{640, 400}; // ScreenScale 8
    StoredSettings stored = UsualSettings();
    stored.values = {INT_MIN, INT_MIN, -5, INT_MIN, INT_MIN, INT_MIN, INT_MIN};
    ClockState state;
    StartClock(state, kDisplay, stored);
    OpenBars(state, kDisplay.height);
    Lcg random(3);
    try {
        for (int move = 0; move < 60; ++move) {
            const auto bar = static_cast<Bar>(random.Next() % 4);
            const int32_t highest[] = {30, 50, 5, 15};
            const int32_t lowest[] = {0, 5, 0, 0};
            const int index = static_cast<int>(bar);
            SetBar(state, bar, random.Between(lowest[index], highest[index]), kDisplay.height);
            ASSERT_EQ(DrawTick(state, static_cast<uint16_t>(random.Between(0, 23)),
                               static_cast<uint16_t>(random.Between(0, 59)),
                               static_cast<uint16_t>(random.Between(0, 59)), move == 0),
                      state.Diameter > 0)
                << "move " << move;
        }
    } catch (const std::exception& error) {
        FAIL() << error.what();
    }
}

TEST(ExtremeSettings, LoadReportsTheFirstProblemAndEveryUnreadValue) {
    StoredSettings stored = UsualSettings();
    stored.values[kSize] = std::nullopt;
    stored.values[kStart1] = std::nullopt;
    ClockState state;
    const LoadReport report = LoadSettings(state, {1366, 768}, &stored);
    EXPECT_EQ(report.problem, "Failed to get data for 'Size'");
    EXPECT_EQ(report.unread, (std::vector<std::string>{"Size", "Start_1"}));
    EXPECT_FALSE(report.firstStart); // an unreadable start count is a later start
    EXPECT_EQ(state.Size, 19);
    EXPECT_EQ(state.StartCount, 1);
    const auto names = [](const std::vector<StoredValue>& values) {
        std::vector<std::string> named;
        for (const StoredValue& value : values) {
            named.push_back(value.name);
        }
        return named;
    };
    // Only the unread values are written back; a first start writes all seven.
    EXPECT_EQ(names(ValuesToStore(report)), (std::vector<std::string>{"Size", "Start_1"}));
    ClockState nothingStored;
    const LoadReport first = LoadSettings(nothingStored, {1366, 768}, nullptr);
    EXPECT_TRUE(first.firstStart);
    EXPECT_EQ(nothingStored.Size, 19);
    EXPECT_EQ(ValuesToStore(first).size(), 7u);
    StoredSettings whole = UsualSettings();
    ClockState loaded;
    EXPECT_TRUE(ValuesToStore(LoadSettings(loaded, {1366, 768}, &whole)).empty());
}

TEST(ExtremeSettings, HidingOverFullScreenProgramsIsOnUnlessStoredAsZero) {
    const std::pair<std::optional<int32_t>, int32_t> cases[] = {
        {std::nullopt, 1}, {0, 0}, {1, 1}, {2, 1}, {-1, 1}, {INT_MIN, 1}};
    for (const auto& [stored, expected] : cases) {
        StoredSettings settings = UsualSettings();
        settings.hideFullScreen = stored;
        ClockState state;
        state.HideFullScreen = 7;
        const LoadReport report = LoadSettings(state, {1366, 768}, &settings);
        EXPECT_EQ(state.HideFullScreen, expected) << stored.value_or(-99);
        EXPECT_EQ(report.problem, ""); // missing is as an older program leaves it
        EXPECT_TRUE(report.unread.empty());
    }
}
