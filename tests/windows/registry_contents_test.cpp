// Whatever the settings key holds, on the real registry: every value absent, as
// text, binary, QWORD, a DWORD of the wrong length and every DWORD that matters,
// an absent key and a key that cannot be written. The store names the value it
// could not read in the exact words of its errors; the clock window starts with
// sound values, draws, and shows at most one error box however long it runs.
#include "tests/windows/test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "windows/clock_window.h"

namespace lumivane::windows {
namespace {

using testing_support::ErrorBoxes;
using testing_support::ErrorOf;
using testing_support::kTestDisplay;
using testing_support::Pump;
using testing_support::RecordingPlatform;
using testing_support::RegistryPath;
using testing_support::RequireTestDisplay;
using testing_support::TakePosted;
using testing_support::TakeQuit;
using testing_support::TestKey;
using testing_support::TrayLog;
using testing_support::WindowText;

constexpr const char* kValueNames[] = {"Bright", "Size", "Algoritm", "Contrast",
                                       "Left",   "Top",  "Start_1"};

// A later start with settings unlike the first-start defaults, so that a value
// that fell back to its default shows. Size 7: a small clock, a tick every 100 ms.
struct Stored {
    int32_t Bright = 20;
    int32_t Size = 7;
    int32_t Algoritm = 2;
    int32_t Contrast = 9;
    int32_t Left = 200;
    int32_t Top = 150;
    int32_t Start_1 = 2;
};
// What each value becomes when it cannot be read: the first-start defaults (Left
// centres the default clock of 285 pixels: Round(683 - 142.5) = 540), and for the
// start counter a later start, so that the stored settings are not replaced.
constexpr Stored kFallback{30, 19, 0, 6, 540, 0, 1};

// Where each value lives in the table above and in the clock state.
struct ValueField {
    const char* name;
    int32_t Stored::*stored;
    int32_t ClockState::*loaded;
};
constexpr ValueField kValueFields[] = {
    {"Bright", &Stored::Bright, &ClockState::Bright},
    {"Size", &Stored::Size, &ClockState::Size},
    {"Algoritm", &Stored::Algoritm, &ClockState::Algoritm},
    {"Contrast", &Stored::Contrast, &ClockState::Contrast},
    {"Left", &Stored::Left, &ClockState::SavedLeft},
    {"Top", &Stored::Top, &ClockState::SavedTop},
    {"Start_1", &Stored::Start_1, &ClockState::StartCount},
};

const ValueField& FieldNamed(const std::string& name) {
    for (const ValueField& field : kValueFields) {
        if (name == field.name) {
            return field;
        }
    }
    ADD_FAILURE() << "no value " << name;
    return kValueFields[0];
}

int32_t Field(const Stored& values, const std::string& name) {
    return values.*FieldNamed(name).stored;
}

int32_t Loaded(const ClockState& state, const std::string& name) {
    return state.*FieldNamed(name).loaded;
}

// The forms a value can take that the store cannot read as a number.
enum class Fault { NoData, WrongType };
struct BadContent {
    const char* label;
    bool present;
    DWORD type;
    std::vector<BYTE> data;
    Fault fault;
};

std::vector<BYTE> Text(const char* text) {
    return {text, text + std::char_traits<char>::length(text) + 1}; // with the terminating zero
}

const std::vector<BadContent>& BadContents() {
    static const std::vector<BadContent> contents{
        {"absent", false, REG_NONE, {}, Fault::NoData},
        {"text of no bytes", true, REG_SZ, {}, Fault::WrongType},
        {"empty text", true, REG_SZ, Text(""), Fault::WrongType},
        {"text of 3 bytes", true, REG_SZ, Text("12"), Fault::WrongType},
        {"text of 4 bytes", true, REG_SZ, Text("123"), Fault::WrongType},
        {"text of 5 bytes", true, REG_SZ, Text("1234"), Fault::NoData},
        {"long text", true, REG_SZ, Text("nineteen and a bit"), Fault::NoData},
        {"binary of no bytes", true, REG_BINARY, {}, Fault::WrongType},
        {"binary of 4 bytes", true, REG_BINARY, {19, 0, 0, 0}, Fault::WrongType},
        {"binary of 8 bytes", true, REG_BINARY, {19, 0, 0, 0, 0, 0, 0, 0}, Fault::NoData},
        {"qword", true, REG_QWORD, {19, 0, 0, 0, 0, 0, 0, 0}, Fault::NoData},
        {"big-endian dword", true, REG_DWORD_BIG_ENDIAN, {0, 0, 0, 19}, Fault::WrongType},
        {"dword of 8 bytes", true, REG_DWORD, {19, 0, 0, 0, 0, 0, 0, 0}, Fault::NoData},
    };
    return contents;
}

std::string ErrorText(Fault fault, const std::string& name) {
    return (fault == Fault::NoData ? "Failed to get data for '" : "Invalid data type for '") +
           name + "'";
}

void StoreAll(const RegistryPath& key, const Stored& values) {
    for (const char* name : kValueNames) {
        key.Write(name, Field(values, name));
    }
}

void Put(const RegistryPath& key, const char* name, const BadContent& content) {
    if (content.present) {
        key.WriteRaw(name, content.type, content.data);
    } else {
        key.Remove(name);
    }
}

// A clock window started on a key of its own; the state outlives the window.
struct StartedClock {
    std::string label;
    std::unique_ptr<ClockState> state = std::make_unique<ClockState>();
    std::unique_ptr<TForm1> form;
    int requests = 0; // posted requests to show the start-up problem
};

// Buffers of Diameter x Diameter pixels for a clock that draws; empty ones for a
// Diameter of 0 or less, and a window with no area.
void ExpectBuffersFit(const StartedClock& clock) {
    const ClockState& state = *clock.state;
    ASSERT_NE(state.FrameBuffer, nullptr) << clock.label;
    ASSERT_NE(state.BackgroundBuffer, nullptr) << clock.label;
    for (const TDIB* buffer : {state.FrameBuffer.get(), state.BackgroundBuffer.get()}) {
        if (state.Diameter <= 0) {
            EXPECT_TRUE(buffer->Empty()) << clock.label;
        } else {
            ASSERT_FALSE(buffer->Empty()) << clock.label;
            EXPECT_EQ(buffer->Width(), state.Diameter) << clock.label;
            EXPECT_EQ(buffer->Height(), state.Diameter) << clock.label;
        }
    }
    RECT client{};
    GetClientRect(clock.form->Handle(), &client);
    EXPECT_EQ(client.right, std::max(state.Diameter, 0)) << clock.label;
    EXPECT_EQ(client.bottom, std::max(state.Diameter, 0)) << clock.label;
}

// Takes each clock's requests to show its start-up problem off the queue and,
// with `show`, shows them as the message loop would, one clock at a time. Then runs every handler
// once by hand (none may throw: each throw would be an error box), lets the clocks' own timers run
// for `ms` and runs the position save again.
// Under Wine on a display without a window manager every box costs seconds on
// closing, so most tests count the requests and show none.
void RunClocks(std::vector<StartedClock>& clocks, bool show = false, DWORD ms = 1000) {
    for (StartedClock& clock : clocks) {
        clock.requests += TakePosted(clock.form->Handle(), TForm1::kShowStartupProblem);
    }
    for (StartedClock& clock : clocks) {
        for (int i = 0; show && i < clock.requests; ++i) {
            SendMessageW(clock.form->Handle(), TForm1::kShowStartupProblem, 0, 0);
        }
    }
    for (StartedClock& clock : clocks) {
        TForm1& form = *clock.form;
        EXPECT_NO_THROW(form.TimerTimer()) << clock.label;
        EXPECT_NO_THROW(form.Timer2Timer()) << clock.label;
        EXPECT_NO_THROW(form.Timer3Timer()) << clock.label;
        EXPECT_NO_THROW(form.Timer1Timer()) << clock.label;
    }
    Pump(ms);
    for (StartedClock& clock : clocks) {
        EXPECT_NO_THROW(clock.form->Timer1Timer()) << clock.label;
    }
}

// Whether the last frame put anything into the frame buffer: the dial's marks and
// the hands are lit even over a black desktop.
bool Drew(StartedClock& clock) {
    TDIB& frame = *clock.state->FrameBuffer;
    if (frame.Empty()) {
        return false;
    }
    const uint8_t* first = frame.ScanLine(frame.Height() - 1); // the lowest address
    for (size_t i = 0; i < frame.SizeImage(); ++i) {
        if (first[i] != 0) {
            return true;
        }
    }
    return false;
}

class RegistryContents : public ::testing::Test {
  protected:
    void SetUp() override {
        RequireTestDisplay();
        SetCursorPos(kTestDisplay.width - 1, kTestDisplay.height - 1); // off every clock below
        ASSERT_TRUE(boxes.Hooked());
    }

    StartedClock& Start(std::vector<StartedClock>& clocks, const RegistryPath& key,
                        std::string label) {
        StartedClock& clock = clocks.emplace_back();
        clock.label = std::move(label);
        clock.form = std::make_unique<TForm1>(*clock.state, RegistryStoreAt(key.Path()));
        return clock;
    }

    // No start-up problem to show and no box since `before`.
    void ExpectQuiet(const std::vector<StartedClock>& clocks, size_t before) const {
        EXPECT_EQ(boxes.Count(), before) << "a box: " << boxes.Seen().back().text;
        for (const StartedClock& clock : clocks) {
            EXPECT_EQ(clock.requests, 0) << clock.label;
        }
    }

    TestKey key;
    ErrorBoxes boxes;
};

// ---------------------------------------------------------------- the store alone

TEST_F(RegistryContents, StoreNamesEveryUnreadableValueInItsOwnWords) {
    const RegistryPath store = key.Below("store");
    StoreAll(store, Stored{});
    for (const BadContent& content : BadContents()) {
        for (const char* name : kValueNames) {
            Put(store, name, content);
            RegistryStore settings(store.Path());
            ASSERT_TRUE(settings.OpenStore(false));
            EXPECT_EQ(ErrorOf([&] { settings.ReadValue(name); }), ErrorText(content.fault, name))
                << name << " as " << content.label;
            // The store stays usable: the next value reads as stored.
            const char* other = std::string(name) == "Bright" ? "Size" : "Bright";
            EXPECT_EQ(settings.ReadValue(other), Field(Stored{}, other)) << name;
            settings.CloseStore();
            store.Write(name, Field(Stored{}, name));
        }
    }
}

// A key deleted by someone else while the store holds it open refuses every
// write; the store says which value it could not set.
TEST_F(RegistryContents, StoreNamesAWriteTheRegistryRefusesInItsOwnWords) {
    const RegistryPath gone = key.Below("deleted while open");
    StoreAll(gone, Stored{});
    RegistryStore settings(gone.Path());
    ASSERT_TRUE(settings.OpenStore(false));
    ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, gone.Relative().c_str()), ERROR_SUCCESS);
    EXPECT_EQ(ErrorOf([&] { settings.WriteValue("Left", 300); }), "Failed to set data for 'Left'");
    EXPECT_EQ(ErrorOf([&] { settings.WriteValue("Start_1", 2); }),
              "Failed to set data for 'Start_1'");
    EXPECT_EQ(ErrorOf([&] { settings.ReadValue("Bright"); }), "Failed to get data for 'Bright'");
    settings.CloseStore();
    EXPECT_FALSE(gone.Exists());
}

TEST_F(RegistryContents, StoreReadsAShortDwordAsItsBytesWithZerosAbove) {
    const RegistryPath store = key.Below("store");
    store.WriteRaw("Size", REG_DWORD, {0x13, 0x01}); // 2 bytes: 0x0113
    store.WriteRaw("Bright", REG_DWORD, {0xFF});     // 1 byte
    store.WriteRaw("Contrast", REG_DWORD, {});       // no bytes
    RegistryStore settings(store.Path());
    ASSERT_TRUE(settings.OpenStore(false));
    EXPECT_EQ(settings.ReadValue("Size"), 275);
    EXPECT_EQ(settings.ReadValue("Bright"), 255);
    EXPECT_EQ(settings.ReadValue("Contrast"), 0);
}

// ---------------------------------------------------------------- start-up

// Each unreadable value, in each form, alone in a key of sound values: start-up
// reports it in the store's words, takes the value's fallback, reads the others,
// places and sizes the clock, and the clock draws; the problem is shown in one
// box, and a second of ticks adds none.
TEST_F(RegistryContents, EachUnreadableValueTakesItsFallbackAndIsShownOnce) {
    for (const char* name : kValueNames) {
        SCOPED_TRACE(name);
        std::vector<StartedClock> clocks;
        for (const BadContent& content : BadContents()) {
            const RegistryPath place = key.Below(std::string(name) + " as " + content.label);
            StoreAll(place, Stored{});
            Put(place, name, content);
            StartedClock& clock = Start(clocks, place, content.label);
            const ClockState& state = *clock.state;

            EXPECT_EQ(clock.form->Controller().StartupProblem(), ErrorText(content.fault, name))
                << content.label;
            for (const char* other : kValueNames) {
                if (std::string(other) == "Start_1") {
                    continue; // advanced by the start record, below
                }
                const int32_t expected =
                    std::string(other) == name ? Field(kFallback, other) : Field(Stored{}, other);
                EXPECT_EQ(Loaded(state, other), expected) << other << ", " << content.label;
            }
            // A later start either way: the count becomes 2. The unreadable value is
            // stored again as its default, and no other value is touched.
            EXPECT_EQ(state.StartCount, 2) << content.label;
            for (const char* other : kValueNames) {
                const int32_t expected = std::string(other) == "Start_1" ? 2
                                         : std::string(other) == name    ? Field(kFallback, other)
                                                                         : Field(Stored{}, other);
                EXPECT_EQ(place.Read(other), expected) << other << ", " << content.label;
            }
            const int32_t diameter = std::string(name) == "Size" ? 285 : 105;
            EXPECT_EQ(state.Diameter, diameter) << content.label;
            EXPECT_EQ(clock.form->Controller().TickInterval(),
                      std::string(name) == "Size" ? 200 : 100)
                << content.label;
            ExpectBuffersFit(clock);
            const RECT rect = clock.form->WindowRect();
            EXPECT_EQ(rect.left, state.SavedLeft) << content.label;
            EXPECT_EQ(rect.top, state.SavedTop) << content.label;
        }
        const size_t before = boxes.Count();
        RunClocks(clocks);
        EXPECT_EQ(boxes.Count(), before) << "a box from a tick: " << boxes.Seen().back().text;
        for (StartedClock& clock : clocks) {
            EXPECT_EQ(clock.requests, 1) << clock.label << ": one request to show the problem";
            EXPECT_TRUE(Drew(clock)) << clock.label;
        }
        // Healed: the next start has nothing to report.
        std::vector<StartedClock> again;
        for (const BadContent& content : BadContents()) {
            Start(again, key.Below(std::string(name) + " as " + content.label), content.label);
            EXPECT_EQ(again.back().form->Controller().StartupProblem(), "") << content.label;
        }
    }
}

// Every DWORD that matters for each setting, alone in a key of sound values: read
// as it is, without a problem; the clock is sized from it (literal diameters for
// the 768-pixel display) and runs its timers without an error box. Stored places
// have a test of their own, below.
struct DwordCase {
    int32_t value;
    int32_t diameter = 105; // 7 x 15; -1: none (0 or less), the buffers empty
    int32_t interval = 100; // ms
};

TEST_F(RegistryContents, EveryDwordStartsAClockThatRunsWithoutAnErrorBox) {
    const std::vector<std::pair<const char*, std::vector<DwordCase>>> cases{
        {"Bright", {{INT_MIN}, {-1}, {0}, {1}, {29}, {30}, {31}, {INT_MAX}}},
        {"Size",
         {{INT_MIN, -1, 100},
          {-1, -1, 100},
          {0, -1, 100},
          {1, 15, 100},
          {4, 60, 100},
          {5, 75, 100},
          {50, 750, 1000},
          {51, 765, 1000},
          {52, 768, 1000}, // 780 reaches the display height
          {INT_MAX, 768, 1000}}},
        {"Algoritm", {{INT_MIN}, {-5}, {-1}, {0}, {1}, {5}, {6}, {INT_MAX}}},
        {"Contrast", {{INT_MIN}, {-1}, {0}, {1}, {15}, {16}, {INT_MAX}}},
    };
    for (const auto& [name, values] : cases) {
        SCOPED_TRACE(name);
        std::vector<StartedClock> clocks;
        for (const DwordCase& c : values) {
            const std::string label = std::string(name) + " = " + std::to_string(c.value);
            const RegistryPath place = key.Below(label);
            StoreAll(place, Stored{});
            place.Write(name, c.value);
            StartedClock& clock = Start(clocks, place, label);
            const ClockState& state = *clock.state;

            EXPECT_EQ(clock.form->Controller().StartupProblem(), "") << label;
            EXPECT_EQ(Loaded(state, name), c.value) << label;
            EXPECT_EQ(state.StartCount, 2) << label;
            EXPECT_EQ(place.Read("Size"), std::string(name) == "Size" ? c.value : 7) << label;
            if (c.diameter < 0) {
                EXPECT_LE(state.Diameter, 0) << label;
            } else {
                EXPECT_EQ(state.Diameter, c.diameter) << label;
            }
            EXPECT_EQ(clock.form->Controller().TickInterval(), c.interval) << label;
            const RECT rect = clock.form->WindowRect();
            EXPECT_EQ(rect.left, 200) << label;
            EXPECT_EQ(rect.top, 150) << label;
        }
        const size_t before = boxes.Count();
        RunClocks(clocks);
        ExpectQuiet(clocks, before);
        for (StartedClock& clock : clocks) {
            // A Diameter of 0 or less leaves the buffers and the window empty after the ticks.
            ExpectBuffersFit(clock);
            if (clock.state->Diameter > 0) {
                EXPECT_TRUE(Drew(clock)) << clock.label;
            }
        }
    }
}

// Wherever "Left" or "Top" puts the clock, the edge keeping brings it back 2
// pixels a tick and leaves it inside the 1366 x 768 display, 5 or 6 pixels from
// the edge it came from (the parity of where it started decides which); the
// position save then stores where it came to rest. A place from which none of the
// clock would show (a monitor's that is gone, or nonsense) starts at once 5 pixels
// inside the nearest edge. The ticks are run by hand.
TEST_F(RegistryContents, AStoredPlaceOffTheDisplayComesBackInside) {
    struct PlaceCase {
        const char* name;
        int32_t stored;
        int32_t shown; // where the window first shows
        int32_t rest;  // where the walk ends: 105-pixel clock, 1366 x 768 display
        int ticks;     // ticks that move the window
    };
    const PlaceCase cases[] = {
        {"Left", INT_MIN, 5, 5, 0},
        {"Left", -200, 5, 5, 0},
        {"Left", -106, 5, 5, 0},
        {"Left", -105, 5, 5, 0},     // its right column just off the display
        {"Left", -104, -104, 6, 55}, // one column showing
        {"Left", -1, -1, 5, 3},
        {"Left", 0, 0, 6, 3},
        {"Left", 1, 1, 5, 2},
        {"Left", 5, 5, 5, 0},          // the first column it may rest on
        {"Left", 1256, 1256, 1256, 0}, // 1366 - 105 - 5: the last
        {"Left", 1261, 1261, 1255, 3}, // flush with the right edge
        {"Left", 1366, 1256, 1256, 0}, // just off the right edge
        {"Left", 1367, 1256, 1256, 0},
        {"Left", INT_MAX, 1256, 1256, 0},
        {"Top", INT_MIN, 5, 5, 0},
        {"Top", -200, 5, 5, 0},
        {"Top", -1, -1, 5, 3},
        {"Top", 0, 0, 6, 3}, // a first start's top edge
        {"Top", 1, 1, 5, 2},
        {"Top", 658, 658, 658, 0}, // 768 - 105 - 5
        {"Top", 663, 663, 657, 3}, // flush with the bottom edge
        {"Top", 768, 658, 658, 0},
        {"Top", INT_MAX, 658, 658, 0},
    };
    std::vector<StartedClock> clocks;
    std::vector<RegistryPath> places;
    for (const PlaceCase& c : cases) {
        const std::string label = std::string(c.name) + " = " + std::to_string(c.stored);
        const RegistryPath& place = places.emplace_back(key.Below(label));
        StoreAll(place, Stored{});
        place.Write(c.name, c.stored);
        StartedClock& clock = Start(clocks, place, label);
        TForm1& form = *clock.form;
        ASSERT_EQ(clock.state->Diameter, 105) << label;

        const bool left = std::string(c.name) == "Left";
        const auto along = [left](const RECT& rect) { return left ? rect.left : rect.top; };
        const auto across = [left](const RECT& rect) { return left ? rect.top : rect.left; };
        RECT before = form.WindowRect();
        ASSERT_EQ(along(before), c.shown) << label;
        const int limit = c.ticks + 5;
        int moves = 0;
        for (int tick = 0; tick < limit; ++tick) {
            form.Timer2Timer();
            const RECT after = form.WindowRect();
            if (along(after) == along(before) && across(after) == across(before)) {
                break;
            }
            // Towards the display, 2 pixels, and along one axis only.
            EXPECT_EQ(along(after) - along(before), c.rest > c.shown ? 2 : -2)
                << label << " at tick " << tick;
            EXPECT_EQ(across(after), across(before)) << label;
            before = after;
            ++moves;
        }
        const RECT rect = form.WindowRect();
        EXPECT_EQ(across(rect), left ? 150 : 200) << label;
        EXPECT_EQ(moves, c.ticks) << label;
        EXPECT_EQ(along(rect), c.rest) << label;
        // Inside the display with room to spare on both sides.
        EXPECT_GE(rect.left, 5) << label;
        EXPECT_LE(rect.right, kTestDisplay.width - 5) << label;
        EXPECT_GE(rect.top, 5) << label;
        EXPECT_LE(rect.bottom, kTestDisplay.height - 5) << label;
    }
    const size_t before = boxes.Count();
    RunClocks(clocks);
    ExpectQuiet(clocks, before);
    for (size_t i = 0; i < clocks.size(); ++i) {
        StartedClock& clock = clocks[i];
        // The position save stored where the window came to rest.
        const RECT rect = clock.form->WindowRect();
        EXPECT_EQ(cases[i].name == std::string("Left") ? rect.left : rect.top, cases[i].rest)
            << clock.label;
        EXPECT_EQ(places[i].Read("Left"), rect.left) << clock.label;
        EXPECT_EQ(places[i].Read("Top"), rect.top) << clock.label;
        EXPECT_TRUE(Drew(clock)) << clock.label;
    }
}

// The start counter decides between a first start, which replaces the settings
// with the defaults and stores them, and a later one, which keeps them.
TEST_F(RegistryContents, EveryStartCountKeepsOrReplacesTheSettingsAsItSays) {
    struct CountCase {
        int32_t stored;
        int32_t after; // in ClockState and in the store
        bool firstStart;
    };
    const CountCase cases[] = {
        {INT_MIN, INT_MIN + 1, false},
        {-1, 0, false},
        {0, 1, true},
        {1, 2, false},
        {2, 2, false},
        {3, 2, false},
        {INT_MAX, 2, false},
    };
    std::vector<StartedClock> clocks;
    for (const CountCase& c : cases) {
        const std::string label = "Start_1 = " + std::to_string(c.stored);
        const RegistryPath place = key.Below(label);
        StoreAll(place, Stored{});
        place.Write("Start_1", c.stored);
        StartedClock& clock = Start(clocks, place, label);
        const ClockState& state = *clock.state;

        EXPECT_EQ(clock.form->Controller().StartupProblem(), "") << label;
        EXPECT_EQ(state.StartCount, c.after) << label;
        EXPECT_EQ(place.Read("Start_1"), c.after) << label;
        const Stored expected = c.firstStart ? Stored{30, 19, 0, 6, 540, 0, 0} : Stored{};
        for (const char* name : {"Bright", "Size", "Algoritm", "Contrast", "Left", "Top"}) {
            EXPECT_EQ(Loaded(state, name), Field(expected, name)) << label << " " << name;
            EXPECT_EQ(place.Read(name), Field(expected, name)) << label << " " << name;
        }
        ExpectBuffersFit(clock);
    }
    const size_t before = boxes.Count();
    RunClocks(clocks);
    ExpectQuiet(clocks, before);
    for (StartedClock& clock : clocks) {
        EXPECT_TRUE(Drew(clock)) << clock.label;
    }
}

// A key whose every value is unreadable: all take their fallbacks, the first of
// them is reported, once.
TEST_F(RegistryContents, AKeyOfNothingButBadValuesGivesTheDefaultsAndOneBox) {
    std::vector<StartedClock> clocks;
    const RegistryPath texts = key.Below("all text");
    const RegistryPath empty = key.Below("all absent");
    for (const char* name : kValueNames) {
        texts.WriteRaw(name, REG_SZ, Text("12"));
    }
    empty.WriteRaw("Unrelated", REG_DWORD, {1, 0, 0, 0}); // the key exists, none of its values
    Start(clocks, texts, "all text");
    Start(clocks, empty, "all absent");
    EXPECT_EQ(clocks[0].form->Controller().StartupProblem(), "Invalid data type for 'Bright'");
    EXPECT_EQ(clocks[1].form->Controller().StartupProblem(), "Failed to get data for 'Bright'");
    for (StartedClock& clock : clocks) {
        for (const char* name : {"Bright", "Size", "Algoritm", "Contrast", "Left", "Top"}) {
            EXPECT_EQ(Loaded(*clock.state, name), Field(kFallback, name))
                << clock.label << " " << name;
        }
        EXPECT_EQ(clock.state->StartCount, 2) << clock.label;
        EXPECT_EQ(clock.state->Diameter, 285) << clock.label;
        ExpectBuffersFit(clock);
    }
    EXPECT_EQ(texts.Read("Start_1"), 2);
    EXPECT_EQ(empty.Read("Start_1"), 2);

    const size_t before = boxes.Count();
    RunClocks(clocks, true);
    ASSERT_EQ(boxes.Count() - before, 2u) << "one box per start, none per tick";
    EXPECT_EQ(boxes.Seen()[before].caption, "Lumivane");
    EXPECT_EQ(boxes.Seen()[before].text, "Invalid data type for 'Bright'");
    EXPECT_EQ(boxes.Seen()[before + 1].text, "Failed to get data for 'Bright'");
    for (StartedClock& clock : clocks) {
        EXPECT_TRUE(Drew(clock)) << clock.label;
    }
}

// Two clocks with a problem each: the second's error arrives while the first's box
// is open (carried by the box's own message loop) and is shown when it closes; the
// first's error raised again meanwhile is not shown twice.
TEST_F(RegistryContents, AnErrorWhileABoxIsOpenIsShownAfterItAndTheSameErrorOnce) {
    std::vector<StartedClock> clocks;
    const RegistryPath text = key.Below("text");
    const RegistryPath overlong = key.Below("overlong");
    StoreAll(text, Stored{});
    text.WriteRaw("Size", REG_SZ, Text("12"));
    StoreAll(overlong, Stored{});
    overlong.WriteRaw("Top", REG_BINARY, {1, 2, 3, 4, 5, 6, 7, 8});
    Start(clocks, text, "text");
    Start(clocks, overlong, "overlong");
    const size_t before = boxes.Count();
    boxes.whileOpen = [&] {
        if (boxes.Count() == before + 1) {
            SendMessageW(clocks[0].form->Handle(), TForm1::kShowStartupProblem, 0, 0);
        }
    };
    Pump(500);
    ASSERT_EQ(boxes.Count() - before, 2u);
    EXPECT_EQ(boxes.Seen()[before].text, "Invalid data type for 'Size'");
    EXPECT_EQ(boxes.Seen()[before + 1].text, "Failed to get data for 'Top'");
}

TEST_F(RegistryContents, AnAbsentKeyIsAFirstStartWithoutABox) {
    std::vector<StartedClock> clocks;
    const RegistryPath absent = key.Below("absent");
    ASSERT_FALSE(absent.Exists());
    StartedClock& clock = Start(clocks, absent, "absent");
    EXPECT_EQ(clock.form->Controller().StartupProblem(), "");
    EXPECT_EQ(clock.state->StartCount, 1);
    for (const char* name : {"Bright", "Size", "Algoritm", "Contrast", "Left", "Top"}) {
        EXPECT_EQ(absent.Read(name), Field(kFallback, name)) << name;
    }
    EXPECT_EQ(absent.Read("Start_1"), 1);
    EXPECT_EQ(clock.state->Diameter, 285);
    EXPECT_EQ(clock.form->Controller().TickInterval(), 200);
    ExpectBuffersFit(clock);
    const size_t before = boxes.Count();
    RunClocks(clocks);
    ExpectQuiet(clocks, before);
    EXPECT_TRUE(Drew(clock));
}

// Below a volatile key no lasting key can be made: nothing is stored, so the clock
// starts on the defaults, and the store refuses being made, which the user hears of
// once, at start-up, with the system's reason; the position save and the way out then
// stay quiet. ("Save Settings" there is the user's own request, and says so each time:
// SettingsSave.)
TEST_F(RegistryContents, AKeyThatCannotBeCreatedLeavesTheDefaultsForThisRun) {
    HKEY parent = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.Below("volatile").Relative().c_str(), 0,
                              nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &parent,
                              nullptr),
              ERROR_SUCCESS);
    RegCloseKey(parent);
    const RegistryPath below = key.Below("volatile\\Lumivane");
    RegistryStore store(below.Path());
    ASSERT_FALSE(store.OpenStore(true));
    ASSERT_FALSE(store.OpenStore(false));

    std::vector<StartedClock> clocks;
    StartedClock& clock = Start(clocks, below, "below a volatile key");
    const ClockState& state = *clock.state;
    const std::string refused = "Failed to create key 'HKEY_CURRENT_USER\\" + below.Relative();
    EXPECT_EQ(clock.form->Controller().StartupProblem().rfind(refused + "': ", 0), 0u)
        << clock.form->Controller().StartupProblem();
    for (const char* name : {"Bright", "Size", "Algoritm", "Contrast", "Left", "Top"}) {
        EXPECT_EQ(Loaded(state, name), Field(kFallback, name)) << name;
    }
    EXPECT_EQ(state.StartCount, 1);
    EXPECT_EQ(state.Diameter, 285);
    ExpectBuffersFit(clock);

    // Moved, so that the position save has something to store.
    clock.form->MoveTo(300, 200);
    const size_t before = boxes.Count();
    RunClocks(clocks);
    EXPECT_EQ(state.SavedLeft, 300) << "taken, although it could not be stored";

    Pump(300);
    EXPECT_TRUE(Drew(clock));
    // Closed after another move: the position is taken as by the timer, and the
    // way out goes on.
    clock.form->MoveTo(320, 220);
    clock.form->Close();
    EXPECT_EQ(state.SavedLeft, 320);
    EXPECT_EQ(clock.form->Handle(), nullptr);
    EXPECT_TRUE(TakeQuit());
    EXPECT_EQ(boxes.Count(), before);
    EXPECT_EQ(clock.requests, 1) << "the start-up's one message";
    EXPECT_FALSE(below.Exists());
}

// A key the user may only read (its DACL grants reading only) is read: the stored
// settings start the clock as a later start, and the refused write of the start count is
// told once, with the key and the system's reason; the settings stay as they were.
TEST_F(RegistryContents, AKeyThatRefusesWritingIsReadAndKeepsItsSettingsUntouched) {
    const RegistryPath locked = key.Below("read only");
    StoreAll(locked, Stored{});
    HKEY handle = nullptr;
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_CURRENT_USER, locked.Relative().c_str(), 0, KEY_ALL_ACCESS, &handle),
        ERROR_SUCCESS);
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    ASSERT_TRUE(
        AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
    EXPLICIT_ACCESSA readOnly{};
    readOnly.grfAccessPermissions = KEY_READ;
    readOnly.grfAccessMode = SET_ACCESS;
    readOnly.grfInheritance = NO_INHERITANCE;
    readOnly.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    readOnly.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    readOnly.Trustee.ptstrName = static_cast<LPSTR>(everyone);
    PACL acl = nullptr;
    ASSERT_EQ(SetEntriesInAclA(1, &readOnly, nullptr, &acl), ERROR_SUCCESS);
    const DWORD set = SetSecurityInfo(
        handle, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
        nullptr, nullptr, acl, nullptr);
    RegCloseKey(handle);
    LocalFree(acl);
    FreeSid(everyone);
    ASSERT_EQ(set, ERROR_SUCCESS);
    // Full access again at the end (the owner may always change the DACL), so that
    // the test key can be deleted.
    struct Unlock {
        std::string relative;
        ~Unlock() {
            HKEY owned = nullptr;
            if (RegOpenKeyExA(HKEY_CURRENT_USER, relative.c_str(), 0, WRITE_DAC, &owned) ==
                ERROR_SUCCESS) {
                SetSecurityInfo(owned, SE_REGISTRY_KEY,
                                DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION,
                                nullptr, nullptr, nullptr, nullptr);
                RegCloseKey(owned);
            }
        }
    } const unlock{locked.Relative()};

    HKEY probe = nullptr;
    const LONG full =
        RegOpenKeyExA(HKEY_CURRENT_USER, locked.Relative().c_str(), 0, KEY_ALL_ACCESS, &probe);
    if (full == ERROR_SUCCESS) {
        RegCloseKey(probe);
        GTEST_SKIP() << "this registry grants full access whatever the key's DACL says";
    }
    ASSERT_EQ(full, ERROR_ACCESS_DENIED);
    RegistryStore store(locked.Path());
    EXPECT_TRUE(store.OpenStore(false));
    EXPECT_EQ(store.ReadValue("Size"), 7);
    EXPECT_FALSE(store.OpenStore(true));
    std::vector<StartedClock> clocks;
    StartedClock& clock = Start(clocks, locked, "read only");
    const std::string refused =
        "Failed to create key 'HKEY_CURRENT_USER\\" + locked.Relative() + "': ";
    EXPECT_EQ(clock.form->Controller().StartupProblem().rfind(refused, 0), 0u)
        << clock.form->Controller().StartupProblem();
    EXPECT_GT(clock.form->Controller().StartupProblem().size(), refused.size());
    EXPECT_EQ(clock.state->StartCount, 2);
    EXPECT_EQ(clock.state->Size, 7);
    ExpectBuffersFit(clock);
    // Moved, so that the position save tries the key.
    clock.form->MoveTo(300, 200);
    const size_t before = boxes.Count();
    RunClocks(clocks);
    EXPECT_EQ(clock.state->SavedLeft, 300) << "taken, although it could not be stored";
    auto tray = std::make_shared<TrayLog>();
    TForm2 settings(clock.form->Controller(), nullptr, RecordingPlatform(tray));
    EXPECT_EQ(ErrorOf([&] { settings.Button1Click(); }).rfind("Failed to create key '", 0), 0u);
    EXPECT_EQ(WindowText(settings.Controls().StaticText1), kHintLine.text);
    EXPECT_FALSE(IsWindowVisible(settings.Handle())) << "no first start";
    Pump(300);
    EXPECT_EQ(boxes.Count(), before) << "the position save adds none";
    EXPECT_EQ(clock.requests, 1);
    EXPECT_TRUE(Drew(clock));
    for (const char* name : kValueNames) {
        EXPECT_EQ(locked.Read(name), Field(Stored{}, name)) << name;
    }
}

} // namespace
} // namespace lumivane::windows
