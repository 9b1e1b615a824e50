// The clock's life with a fake platform: the starts, healing, the place through a drag
// and the way out, monitors and full-screen programs, the settings window's model and
// the problems the user is shown.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/clock/hand_hit.h"
#include "core/controller/clock_controller.h"
#include "tests/core/controller/fake_platform.h"

namespace lumivane {
namespace {

using testing_support::FakePlatform;

const std::map<std::string, std::string> kLater{
    {"Bright", "20"}, {"Size", "7"},  {"Algoritm", "2"}, {"Contrast", "9"},
    {"Left", "400"},  {"Top", "200"}, {"Start_1", "2"}};

struct FakeView : SettingsView {
    std::map<Bar, int32_t> bars;
    std::string status;
    bool shown = false;
    bool timer = false;
    void ShowBar(Bar bar, int32_t position) override { bars[bar] = position; }
    void ShowStatus(const StatusLine& line) override { status = line.text; }
    void ShowSettings() override { shown = true; }
    bool StartStatusTimer(uint32_t) override { return timer = true; }
    void StopStatusTimer() override { timer = false; }
};

struct Clock {
    FakePlatform platform;
    ClockState state;
    ClockController controller{state, platform};
    FakeView view;

    explicit Clock(const std::map<std::string, std::string>& stored = {}) {
        platform.memory.values = stored;
        platform.memory.exists = !stored.empty();
    }
    void Start() {
        controller.Start();
        controller.OpenSettings(view);
    }
};

TEST(ClockLife, AFirstStartStoresTheDefaultsAndWalksInFromTheTopEdge) {
    Clock clock;
    clock.Start();
    FakePlatform& p = clock.platform;
    EXPECT_EQ(p.memory.values, (std::map<std::string, std::string>{{"Bright", "30"},
                                                                   {"Size", "19"},
                                                                   {"Algoritm", "0"},
                                                                   {"Contrast", "6"},
                                                                   {"Left", "540"},
                                                                   {"Top", "0"},
                                                                   {"Start_1", "1"}}));
    EXPECT_EQ(p.side, 285);
    EXPECT_EQ(p.Where(), (Place{540, 0}));
    EXPECT_TRUE(p.shown);
    EXPECT_EQ(p.presents, 1) << "the first frame at once";
    EXPECT_EQ(clock.state.Hour, 10);
    EXPECT_EQ(clock.controller.TickInterval(), 200u);
    EXPECT_EQ(p.timers, (std::map<ClockTimer, uint32_t>{{ClockTimer::Tick, 5},
                                                        {ClockTimer::SavePlace, 5000},
                                                        {ClockTimer::KeepInside, 30},
                                                        {ClockTimer::RedrawWhileAway, 30}}));
    EXPECT_TRUE(clock.view.shown) << "a first start opens the settings";
    EXPECT_EQ(clock.view.status, kHintLine.text);
    EXPECT_EQ(clock.view.bars,
              (std::map<Bar, int32_t>{{Bar::Bright, 30}, {Bar::Size, 19}, {Bar::Contrast, 6}}));
    for (int tick = 0; tick < 3; ++tick) {
        clock.controller.KeepInside();
        clock.controller.RedrawWhileAway();
    }
    EXPECT_EQ(p.Where(), (Place{540, 6}));
    EXPECT_EQ(p.reads, 4) << "a frame for each step";
    clock.controller.SavePlaceIfMoved();
    EXPECT_EQ(p.memory.Number("Top"), 6);
    clock.controller.KeepInside();
    EXPECT_FALSE(p.timers.contains(ClockTimer::KeepInside)) << "at rest, the placement stops";
    EXPECT_FALSE(p.timers.contains(ClockTimer::RedrawWhileAway));
    EXPECT_TRUE(clock.controller.StartupProblem().empty());
}

TEST(ClockLife, ALaterStartKeepsTheSettingsAndCountsTheStart) {
    Clock clock(kLater);
    clock.platform.traits = {.placementTickAtRest = true, .pollFrontWindow = true};
    clock.Start();
    EXPECT_EQ(clock.platform.Where(), (Place{400, 200}));
    EXPECT_EQ(clock.platform.side, 105);
    EXPECT_EQ(clock.controller.TickInterval(), 100u);
    EXPECT_EQ(clock.platform.timers[ClockTimer::FullScreenCheck], 250u);
    EXPECT_FALSE(clock.view.shown);
    EXPECT_EQ(clock.platform.memory.writes, 1) << "the start count alone";
    clock.controller.KeepInside();
    EXPECT_TRUE(clock.platform.timers.contains(ClockTimer::KeepInside)) << "the pointer's tick";
}

// Where the platform tells of changes beneath, a still desktop costs one frame a second,
// and changes beneath are drawn within the frame interval, however many come.
TEST(ClockLife, WhereChangesBeneathAreToldAStillDesktopCostsAFrameASecond) {
    auto stored = kLater;
    stored["Size"] = "19";
    Clock clock(stored);
    clock.platform.traits.tellsChangesBeneath = true;
    clock.Start();
    clock.platform.changesBeneath = false;
    clock.controller.BeneathChanged();
    clock.controller.BeneathChanged();
    EXPECT_EQ(clock.platform.timers[ClockTimer::SoonAfterChange], 200u) << "Size 19: 200 ms";
    const int reads = clock.platform.reads;
    clock.controller.Fire(ClockTimer::SoonAfterChange);
    EXPECT_EQ(clock.platform.reads, reads + 1);
    EXPECT_FALSE(clock.platform.timers.contains(ClockTimer::SoonAfterChange));
}

// The time of day `ms` after midnight.
TimeOfDay At(int64_t ms) {
    ms %= 86'400'000;
    return {static_cast<uint16_t>(ms / 3'600'000), static_cast<uint16_t>(ms / 60'000 % 60),
            static_cast<uint16_t>(ms / 1000 % 60), static_cast<uint16_t>(ms % 1000)};
}

// The ticks keep the frame interval and fall so that one comes just after every turn of
// the second: the second hand steps on the second at every size, its timer on time or a
// little late, and a second never gets more ticks than the interval gives.
TEST(ClockTime, TheTickComesJustAfterEveryTurnOfTheSecondAtEverySize) {
    struct Case {
        int32_t size;
        bool told; // the platform tells of changes beneath
        uint32_t interval;
    };
    for (const Case& c : {Case{15, false, 100}, Case{16, false, 200}, Case{25, false, 250},
                          Case{30, false, 500}, Case{31, false, 1000}, Case{15, true, 1000}}) {
        auto stored = kLater;
        stored["Size"] = std::to_string(c.size);
        Clock clock(stored);
        clock.platform.traits.tellsChangesBeneath = c.told;
        int64_t at = 36'630'347; // 10:10:30.347: started anywhere in a second
        clock.platform.now = At(at);
        clock.Start();
        EXPECT_EQ(clock.controller.TickInterval(), c.interval) << c.size;
        std::map<int64_t, std::vector<int64_t>> ticks; // by second, the ms of each
        for (int tick = 0; at < 36'633'000; ++tick) {  // into the fourth second
            at += clock.platform.timers.at(ClockTimer::Tick) + tick % 4 * 3; // up to 9 ms late
            clock.platform.now = At(at);
            clock.controller.Fire(ClockTimer::Tick);
            if (at >= 36'631'000) { // the seconds after the start's
                ticks[at / 1000].push_back(at % 1000);
            }
            EXPECT_EQ(clock.state.Second, at / 1000 % 60);
        }
        for (const auto& [second, times] : ticks) {
            EXPECT_GE(times.front(), 5) << c.size << " at " << second;
            EXPECT_LE(times.front(), 14) << c.size << " at " << second;
            EXPECT_LE(times.size(), 1000 / c.interval) << c.size << " at " << second;
        }
        EXPECT_EQ(ticks.size(), 3u) << "no second left out";
    }
}

// A clock set back or forward, a daylight-saving change (Europe/Berlin's spring night goes
// from 01:59:59 to 03:00:00, its autumn night from 02:59:59 back to 02:00:00) or a wake
// from sleep: the next tick shows the new time and comes as it would have; the timers
// that run on elapsed time go on untouched.
TEST(ClockTime, TheNextTickShowsATimeSetBackOrForward) {
    Clock clock(kLater);
    clock.Start();
    FakePlatform& p = clock.platform;
    const auto timers = p.timers;
    struct Jump {
        TimeOfDay before;
        TimeOfDay after;
    };
    for (const auto& [before, after] :
         {Jump{{1, 59, 59, 905}, {3, 0, 0, 5}}, Jump{{2, 59, 59, 905}, {2, 0, 0, 5}},
          Jump{{14, 20, 7, 5}, {13, 20, 7, 5}}, Jump{{13, 20, 7, 105}, {13, 20, 9, 190}}}) {
        p.now = before;
        clock.controller.Tick();
        p.now = after;
        clock.controller.Fire(ClockTimer::Tick);
        EXPECT_EQ((std::array{clock.state.Hour, clock.state.Minute, clock.state.Second}),
                  (std::array{after.hour, after.minute, after.second}));
        EXPECT_LE(p.timers[ClockTimer::Tick], 100u) << "the interval: neither stalled nor a burst";
        EXPECT_GE(p.timers[ClockTimer::Tick], 5u);
    }
    p.now = {7, 45, 12, 630}; // Windows tells: set, or woken after hours
    clock.controller.TimeChanged();
    EXPECT_EQ(p.timers[ClockTimer::Tick], 75u) << "at once, back in step with the second";
    EXPECT_EQ(p.timers[ClockTimer::SavePlace], timers.at(ClockTimer::SavePlace));
}

TEST(ClockLife, ADamagedStoreHealsAndTellsOnce) {
    auto stored = kLater;
    stored["Size"] = "nine";
    Clock clock(stored);
    clock.Start();
    EXPECT_EQ(clock.controller.StartupProblem(), "Cannot read 'Size'");
    EXPECT_EQ(clock.platform.boxes, std::vector<std::string>{"Cannot read 'Size'"});
    EXPECT_EQ(clock.platform.presents, 1) << "told once the clock shows";
    EXPECT_EQ(clock.platform.memory.values["Size"], "19");
    EXPECT_EQ(clock.platform.memory.values["Left"], "400") << "what was read is kept";

    Clock again(clock.platform.memory.values);
    again.Start();
    EXPECT_TRUE(again.controller.StartupProblem().empty());
}

TEST(ClockLife, ADragThenAWayOutWithinASecondStoresThePlace) {
    Clock clock(kLater);
    clock.Start();
    clock.controller.KeepInside(); // at rest
    clock.controller.Moved({600, 300});
    EXPECT_EQ(clock.platform.timers.count(ClockTimer::RedrawWhileAway), 1u);
    clock.controller.Exit();
    EXPECT_EQ(clock.platform.memory.Number("Left"), 600);
    EXPECT_EQ(clock.platform.memory.Number("Top"), 300);

    clock.controller.Moved({610, 300});
    clock.platform.memory.refuseWrite = true;
    clock.controller.Exit();
    EXPECT_EQ(clock.platform.boxes, std::vector<std::string>{"Cannot write 'Left'"});
    EXPECT_EQ(clock.state.SavedLeft, 610) << "not retried until it moves again";
}

// A press on a hand takes the clock, which follows the pointer's travel wherever it goes;
// let go, the edge keeping brings it inside its monitor and its place is saved once. A
// press off the hands takes nothing. Where the edge is kept while the clock is dragged
// (Windows), the first step comes before it is let go.
TEST(ClockDrag, AHandFollowsThePointerAndLetGoItIsKeptInsideAndSavedOnce) {
    for (const bool keptWhileDragged : {false, true}) {
        SCOPED_TRACE(keptWhileDragged);
        Clock clock(kLater);
        clock.platform.traits.keepsInsideWhileDragged = keptWhileDragged;
        clock.Start();
        ClockController& c = clock.controller;
        std::vector<uint8_t> hands;
        MarkHandSamples(clock.state, 105, 105, hands);
        const auto hand =
            static_cast<int32_t>(std::find(hands.begin(), hands.end(), 1) - hands.begin());
        EXPECT_FALSE(c.HandPressed({0, 0}, {400, 200})) << "the square's corner";
        ASSERT_TRUE(c.HandPressed({hand % 105, hand / 105}, {1000, 1000}));
        c.PointerMoved({550, 750});
        EXPECT_EQ(clock.platform.Where(), (Place{-50, -50}));
        c.Fire(ClockTimer::KeepInside);
        EXPECT_EQ(clock.platform.Where(), keptWhileDragged ? (Place{-48, -48}) : (Place{-50, -50}));
        c.HandReleased();
        c.PointerMoved({0, 0});
        for (int tick = 0; tick < 40; ++tick) {
            c.Fire(ClockTimer::KeepInside);
        }
        EXPECT_EQ(clock.platform.Where(), (Place{6, 6})) << "a drag ends with the release";
        const int writes = clock.platform.memory.writes;
        c.Fire(ClockTimer::SavePlace);
        c.Fire(ClockTimer::SavePlace);
        EXPECT_EQ(clock.platform.memory.writes, writes + 2) << "Left and Top, once";
        EXPECT_EQ(clock.platform.memory.Number("Left"), 6);
    }
}

// A see-through clock sees the desktop only in captures of the screen, which hold the
// clock's own picture: the first gives the desktop back, a still desktop is not captured
// again while only the clock's hands change the screen, a change beneath anywhere in the
// square (its last column and row too) is captured and drawn within the frame interval,
// and a clock shown again after hiding captures before it draws.
TEST(SeeThroughLife, OnlyAChangeBeneathTheClockIsCapturedAgain) {
    Clock clock(kLater);
    FakePlatform& p = clock.platform;
    p.traits = {.tellsChangesBeneath = true, .seeThrough = true, .shapesInput = true};
    std::map<std::pair<int32_t, int32_t>, uint32_t> changed;
    p.desktop = [&](int32_t x, int32_t y) {
        const auto found = changed.find({x, y});
        return found != changed.end()
                   ? found->second
                   : static_cast<uint32_t>((x * 7 % 256) << 16 | (y * 5 % 256) << 8 | 90);
    };
    clock.Start();
    ClockController& c = clock.controller;
    TDIB& background = *clock.state.BackgroundBuffer;
    const auto beneath = [&](int32_t x, int32_t y) {
        const uint32_t bgr = background.Pixel(x - 400, y - 200);
        return (bgr & 0xFF) << 16 | (bgr & 0xFF00) | bgr >> 16;
    };
    EXPECT_EQ(p.captures, 1);
    for (int32_t y = 200; y < 305; y += 13) {
        for (int32_t x = 400; x < 505; x += 11) {
            ASSERT_EQ(beneath(x, y), p.desktop(x, y)) << "before the clock shows, exactly";
        }
    }
    const Rect square{400, 200, 505, 305};
    for (uint16_t second = 31; second < 43; ++second) {
        const auto copy = p.Screen(square);
        EXPECT_FALSE(c.ScreenChanged(&*copy)) << second;
        p.now.second = second;
        c.Fire(ClockTimer::Tick);
    }
    EXPECT_EQ(p.captures, 1) << "twelve seconds of hands need no capture";
    for (const auto& [x, y] : {std::pair{504, 250}, std::pair{450, 304}}) {
        changed[{x, y}] = 0x00FF00;
        const auto copy = p.Screen(square);
        EXPECT_TRUE(c.ScreenChanged(&*copy)) << x << "," << y;
        c.Fire(ClockTimer::SoonAfterChange);
        EXPECT_EQ(beneath(x, y), 0x00FF00u) << x << "," << y;
    }
    EXPECT_EQ(p.captures, 3);
    // Recovered where the clock's picture lies over it, the estimate may miss by the
    // compositor's rounding: one capture more at most, and then none.
    for (uint16_t second = 43; second < 55; ++second) {
        const auto copy = p.Screen(square);
        if (c.ScreenChanged(&*copy)) {
            c.Fire(ClockTimer::SoonAfterChange);
        }
        p.now.second = second;
        c.Fire(ClockTimer::Tick);
    }
    EXPECT_LE(p.captures, 4) << "the estimate soon explains every screen of a still desktop";
    const int captures = p.captures;
    p.front = Rect{0, 0, 1366, 768};
    c.CheckFullScreen();
    p.front.reset();
    c.CheckFullScreen();
    EXPECT_EQ(p.captures, captures + 1) << "what came to lie beneath meanwhile";
}

TEST(ClockLife, AClockOnARemovedMonitorComesInsideAnother) {
    auto stored = kLater;
    stored["Left"] = "2000";
    Clock clock(stored);
    clock.platform.monitors = {{0, 0, 1366, 768}, {1366, 0, 3286, 1080}};
    clock.Start();
    EXPECT_EQ(clock.platform.side, 154) << "7 steps of Round(1080 / 50)";
    clock.platform.monitors.pop_back();
    clock.controller.MonitorsChanged();
    EXPECT_EQ(clock.platform.Where(), (Place{1366 - 154 - 5, 200}));
}

TEST(ClockLife, HidesWhileAFullScreenProgramCoversItsMonitorUnlessToldNot) {
    Clock clock(kLater);
    clock.Start();
    const int reads = clock.platform.reads;
    clock.platform.front = Rect{0, 0, 1366, 768};
    clock.controller.CheckFullScreen();
    EXPECT_FALSE(clock.platform.shown);
    clock.controller.Tick();
    EXPECT_EQ(clock.platform.reads, reads) << "hidden, it reads nothing";
    EXPECT_FALSE(clock.controller.KeepInside());

    clock.controller.SetHideFullScreen(false);
    EXPECT_TRUE(clock.platform.shown);
    EXPECT_EQ(clock.platform.reads, reads + 1) << "back with a fresh frame";
    EXPECT_EQ(clock.platform.memory.Number("HideFullScreen"), 0);
    clock.controller.SetHideFullScreen(true);
    EXPECT_FALSE(clock.platform.shown);
    clock.platform.front = Rect{0, 0, 1366, 767};
    clock.controller.CheckFullScreen();
    EXPECT_TRUE(clock.platform.shown);
}

TEST(ClockLife, SaveConfirmsForAWhileAndARefusedSaveShowsTheHint) {
    Clock clock(kLater);
    clock.Start();
    clock.controller.BarMoved(Bar::Size, 20);
    EXPECT_EQ(clock.state.Diameter, 300);
    clock.controller.SaveSettings();
    EXPECT_EQ(clock.platform.memory.Number("Size"), 20);
    EXPECT_EQ(clock.view.status, kConfirmationLine.text);
    EXPECT_TRUE(clock.view.timer);
    clock.platform.memory.refuseOpen = true;
    EXPECT_THROW(clock.controller.SaveSettings(), Error);
    EXPECT_EQ(clock.view.status, kHintLine.text);
    clock.controller.StatusTimeUp();
    EXPECT_FALSE(clock.view.timer);
    EXPECT_EQ(clock.platform.memory.Number("Start_1"), 2);
}

// Whatever has to make the store anew (it was deleted while the clock ran) writes every
// value of the running clock, so that the next start finds it whole.
TEST(ClockStore, AStoreDeletedWhileTheClockRunsComesBackWhole) {
    for (int way = 0; way < 3; ++way) {
        Clock clock(kLater);
        clock.Start();
        clock.controller.BarMoved(Bar::Bright, 25);
        clock.platform.memory = {};
        if (way == 0) {
            clock.controller.Moved({600, 300});
            clock.controller.SavePlaceIfMoved();
        } else if (way == 1) {
            clock.controller.SaveSettings();
        } else {
            clock.controller.SetHideFullScreen(false);
        }
        auto expected = kLater;
        expected["Bright"] = "25";
        if (way == 0) {
            expected["Left"] = "600";
            expected["Top"] = "300";
        }
        if (way == 2) {
            expected["HideFullScreen"] = "0";
        }
        EXPECT_EQ(clock.platform.memory.values, expected) << way;
    }
}

// A store that refuses writing is told of once, at start-up or at the first refusal,
// until a write succeeds again; one that could not be read at all is never written to
// unless the user asks, and then the refusal is told each time.
TEST(ClockStore, RefusalsAreToldOnceAndAnUnreadableStoreIsLeftAlone) {
    Clock refusing(kLater);
    refusing.platform.memory.refuseWrite = true;
    refusing.Start();
    EXPECT_EQ(refusing.controller.StartupProblem(), "Cannot write 'Start_1'");
    refusing.controller.Moved({600, 300});
    refusing.controller.SavePlaceIfMoved();
    EXPECT_EQ(refusing.platform.boxes, std::vector<std::string>{"Cannot write 'Start_1'"})
        << "told at start-up already";
    refusing.platform.memory.refuseWrite = false;
    refusing.controller.Moved({610, 300});
    refusing.controller.SavePlaceIfMoved();
    refusing.platform.memory.refuseWrite = true;
    refusing.controller.Moved({620, 300});
    refusing.controller.SavePlaceIfMoved();
    refusing.controller.Moved({630, 300});
    refusing.controller.SavePlaceIfMoved();
    EXPECT_EQ(refusing.platform.boxes,
              (std::vector<std::string>{"Cannot write 'Start_1'", "Cannot write 'Left'"}));

    Clock unreadable(kLater);
    unreadable.platform.memory.unreadable = true;
    unreadable.Start();
    unreadable.controller.Moved({600, 300});
    unreadable.controller.SavePlaceIfMoved();
    unreadable.controller.SetHideFullScreen(false);
    EXPECT_EQ(unreadable.platform.boxes, std::vector<std::string>{"Cannot read 'Bright'"});
    EXPECT_EQ(unreadable.platform.memory.writes, 0);
    EXPECT_THROW(unreadable.controller.SaveSettings(), Error);
    EXPECT_THROW(unreadable.controller.SaveSettings(), Error) << "each time the user asks";
}

// Monitors that change unannounced are found: at once when the clock is on none of the
// known ones, else with the position timer.
TEST(ClockStore, MonitorsThatChangeUnannouncedAreFound) {
    auto stored = kLater;
    stored["Left"] = "1000";
    stored["Top"] = "400";
    Clock clock(stored);
    clock.Start();
    clock.platform.monitors = {{0, 0, 640, 480}};
    clock.controller.PlaceTick();
    EXPECT_EQ(clock.platform.Where(), (Place{640 - 105 - 5, 480 - 105 - 5}));
    clock.platform.monitors = {{0, 0, 1366, 768}};
    clock.controller.Moved({2000, 100});
    clock.controller.KeepInside();
    EXPECT_EQ(clock.platform.Where(), (Place{1366 - 105 - 5, 100}));
}

TEST(ClockLife, AssistiveTechnologyHearsOfTheTimeOnceAMinuteNotEverySecond) {
    Clock clock(kLater);
    clock.Start();
    FakePlatform& p = clock.platform;
    EXPECT_EQ(p.timesTold, std::vector<std::string>{"10:08"}) << "the start's time";
    for (uint16_t second = 31; second < 60; ++second) {
        p.now.second = second;
        clock.controller.Tick();
    }
    EXPECT_EQ(p.timesTold.size(), 1u) << "a frame every tick, no news";
    p.now = {10, 9, 0};
    clock.controller.Tick();
    clock.controller.Tick();
    p.now = {11, 9, 0}; // the clock put an hour on: same minute, another time
    clock.controller.Tick();
    clock.controller.CheckFullScreen();
    p.now = {0, 0, 5}; // midnight
    clock.controller.Tick();
    EXPECT_EQ(p.timesTold, (std::vector<std::string>{"10:08", "10:09", "11:09", "00:00"}));
    EXPECT_EQ(ShortTimeText({23, 59, 59}), "23:59");
    EXPECT_EQ(ShortTimeText({7, 5, 0}), "07:05");
}

TEST(ClockLife, ProblemsShowOneBoxAtATimeEachTextOnceWhileItIsOpen) {
    Clock clock;
    clock.platform.answerBoxes = false;
    clock.controller.Report("one");
    clock.controller.Report("two");
    clock.controller.Report("one");
    clock.controller.Report("two");
    EXPECT_EQ(clock.platform.boxes, std::vector<std::string>{"one"});
    clock.controller.ProblemAnswered();
    EXPECT_EQ(clock.platform.boxes, (std::vector<std::string>{"one", "two"}));
    clock.controller.ProblemAnswered();
    clock.controller.Report("one");
    EXPECT_EQ(clock.platform.boxes.size(), 3u) << "shown again once answered";
    clock.controller.ProblemAnswered();
    clock.platform.memory.refuseOpen = true;
    EXPECT_THROW(clock.controller.SaveSettings(), Error);
    clock.controller.ProblemAnswered(); // none open: nothing happens
    EXPECT_THROW(clock.controller.SaveSettings(), Error) << "a failed Save each time";
}

} // namespace
} // namespace lumivane
