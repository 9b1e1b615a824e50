// The clock window as a real window under a test key of its own: the frame's
// resize, the placement timer, the monitors changing, full-screen programs,
// click-through and the position save. (Its start-up from whatever the store
// holds: registry_contents_test.cpp.)
#include <gtest/gtest.h>

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "core/clock/clock_state.h"
#include "core/render/render.h"
#include "tests/windows/test_support.h"
#include "windows/clock_window.h"
#include "windows/dib.h"
#include "windows/handles.h"

using lumivane::ClockState;
using lumivane::testing_support::AccessibleView;
using lumivane::testing_support::kTestDisplay;
using lumivane::testing_support::RequireTestDisplay;
using lumivane::testing_support::SystemShortTime;
using lumivane::testing_support::TakeQuit;
using lumivane::testing_support::TestKey;
using lumivane::testing_support::WinEvents;
using lumivane::windows::TForm1;

namespace {

class ClockWindow : public testing::Test {
  protected:
    void SetUp() override {
        RequireTestDisplay();
        SetCursorPos(kTestDisplay.width - 1, kTestDisplay.height - 1); // away from every clock
    }

    std::unique_ptr<TForm1> Start(ClockState& state) {
        return std::make_unique<TForm1>(state, lumivane::windows::RegistryStoreAt(key.Path()));
    }

    void StoreAll(int32_t bright, int32_t size, int32_t algoritm, int32_t contrast, int32_t left,
                  int32_t top, int32_t start) {
        key.Write("Bright", bright);
        key.Write("Size", size);
        key.Write("Algoritm", algoritm);
        key.Write("Contrast", contrast);
        key.Write("Left", left);
        key.Write("Top", top);
        key.Write("Start_1", start);
    }

    TestKey key;
};

// The pointer moves to (x, y) over the window, which the system tells the window with a
// hit test.
void PointAt(const TForm1& form, int x, int y) {
    SetCursorPos(x, y);
    SendMessageW(form.Handle(), WM_NCHITTEST, 0, MAKELPARAM(x, y));
}

bool IsBlack(lumivane::TDIB& dib, int32_t x, int32_t y) {
    const uint8_t* pixel = dib.ScanLine(y) + 3 * x;
    return pixel[0] == 0 && pixel[1] == 0 && pixel[2] == 0;
}

void Whiten(lumivane::TDIB& dib, int32_t x, int32_t y) {
    dib.PutPixel(x, y, 0xFFFFFF);
}

} // namespace

TEST_F(ClockWindow, NewDiameterResizesWindowBuffersAndTheTickInterval) {
    ClockState state;
    auto form = Start(state);
    state.Size = 35;
    lumivane::RecomputeGeometry(state, kTestDisplay.height);
    EXPECT_EQ(form->Controller().TickInterval(), 200); // not before the next frame

    form->Draw();

    EXPECT_EQ(state.PrevDiameter, 525);
    EXPECT_EQ(form->Controller().TickInterval(), 1000);
    RECT client{};
    GetClientRect(form->Handle(), &client);
    EXPECT_EQ(client.right, 525);
    EXPECT_EQ(client.bottom, 525);
    EXPECT_EQ(state.FrameBuffer->Width(), 525);
    EXPECT_EQ(state.FrameBuffer->Height(), 525);
    EXPECT_EQ(state.BackgroundBuffer->Width(), 525);
    EXPECT_EQ(state.BackgroundBuffer->Height(), 525);
    // Outside the disc the new frame is black, that is transparent.
    EXPECT_TRUE(IsBlack(*state.FrameBuffer, 0, 0));
    EXPECT_TRUE(IsBlack(*state.FrameBuffer, 524, 524));
}

TEST_F(ClockWindow, BufferEmptiedByANonPositiveSizeGrowsAgain) {
    ClockState state;
    auto form = Start(state);
    state.Size = 0;
    lumivane::RecomputeGeometry(state, kTestDisplay.height);
    form->Draw();
    EXPECT_TRUE(state.FrameBuffer->Empty());
    EXPECT_TRUE(state.BackgroundBuffer->Empty());

    state.Size = 19;
    lumivane::RecomputeGeometry(state, kTestDisplay.height);
    form->Draw();

    EXPECT_EQ(state.FrameBuffer->Width(), 285);
    EXPECT_EQ(state.FrameBuffer->Height(), 285);
    EXPECT_EQ(state.BackgroundBuffer->Width(), 285);
    EXPECT_EQ(state.BackgroundBuffer->Height(), 285);
    EXPECT_EQ(state.FrameBuffer->BitCount(), 24);
    EXPECT_EQ(form->Controller().TickInterval(), 200);
}

// What a screen reader reads through oleacc: the clock's client area is one object of
// role clock (61), named "Lumivane", whose value is the time shown in the user's short
// format; it takes no focus. A new minute is announced by one value-change event, the
// second's frames by none; a client that keeps the object after the window is gone is
// told so.
TEST_F(ClockWindow, ScreenReadersReadTheTimeShownAndHearOfEachNewMinute) {
    const lumivane::windows::ComApartment apartment = lumivane::windows::EnterApartment();
    ClockState state;
    auto form = Start(state);
    const AccessibleView clock(form->Handle());
    ASSERT_TRUE(clock.object);
    EXPECT_EQ(clock.Role(), ROLE_SYSTEM_CLOCK);
    EXPECT_EQ(clock.Name(), L"Lumivane");
    form->TimerTimer(); // the time the clock shows now
    EXPECT_EQ(clock.Value(), SystemShortTime(state.Hour, state.Minute));
    EXPECT_EQ(clock.State() & (STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_FOCUSED), 0);
    EXPECT_NE(clock.State() & STATE_SYSTEM_READONLY, 0);
    LONG children = -1;
    EXPECT_EQ(clock.object->get_accChildCount(&children), S_OK);
    EXPECT_EQ(children, 0);
    LONG left = 0, top = 0, width = 0, height = 0;
    ASSERT_EQ(clock.object->accLocation(&left, &top, &width, &height, AccessibleView::Self()),
              S_OK);
    const RECT window = form->WindowRect();
    EXPECT_EQ((std::array{left, top, width, height}),
              (std::array<LONG, 4>{window.left, window.top, 285, 285}));
    const auto exStyle = GetWindowLongPtrW(form->Handle(), GWL_EXSTYLE);
    EXPECT_NE(exStyle & WS_EX_TOOLWINDOW, 0) << "off the taskbar and Alt+Tab";
    EXPECT_EQ(GetWindowLongPtrW(form->Handle(), GWL_STYLE) & WS_TABSTOP, 0);

    WinEvents changes(EVENT_OBJECT_VALUECHANGE);
    ASSERT_TRUE(changes.Hooked());
    const int minute = state.Minute;
    for (int tick = 0; tick < 5; ++tick) {
        form->TimerTimer();
    }
    const size_t expected = state.Minute != minute ? 1 : 0; // the clock's own minute may turn
    EXPECT_EQ(changes.Seen().size(), expected) << "a frame each tick, news once a minute";
    changes.Clear();
    form->TimeShownChanged({14, 7, 0});
    const WinEvents::Event valueChanged{form->Handle(), OBJID_CLIENT, CHILDID_SELF};
    EXPECT_EQ(changes.Seen(), std::vector<WinEvents::Event>{valueChanged});
    EXPECT_EQ(clock.Value(), SystemShortTime(14, 7));

    form.reset();
    BSTR name = nullptr;
    EXPECT_EQ(clock.object->get_accName(AccessibleView::Self(), &name), RPC_E_DISCONNECTED);
    EXPECT_EQ(name, nullptr);
}

// Counts the moves of one window made on this thread while it lives.
class MoveCounter {
  public:
    explicit MoveCounter(HWND window)
        : hook_(SetWindowsHookExW(WH_CALLWNDPROC, &MoveCounter::Seen, nullptr,
                                  GetCurrentThreadId())) {
        watched_ = window;
        moves_ = 0;
    }
    ~MoveCounter() { UnhookWindowsHookEx(hook_); }
    MoveCounter(const MoveCounter&) = delete;
    MoveCounter& operator=(const MoveCounter&) = delete;
    int Moves() const { return moves_; }

  private:
    static LRESULT CALLBACK Seen(int code, WPARAM wParam, LPARAM lParam) {
        const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (code == HC_ACTION && message->hwnd == watched_ &&
            message->message == WM_WINDOWPOSCHANGED &&
            !(reinterpret_cast<const WINDOWPOS*>(message->lParam)->flags & SWP_NOMOVE)) {
            ++moves_;
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static inline HWND watched_ = nullptr; // a hook procedure has no context of its own
    static inline int moves_ = 0;
    HHOOK hook_;
};

// A change of the monitors brings a clock that is off them, or partly, at once inside
// the monitor it belongs to.
TEST_F(ClockWindow, AChangeOfTheMonitorsBringsTheClockInsideAtOnce) {
    ClockState state;
    auto form = Start(state);
    const auto changed = [&form](UINT message, WPARAM wParam) {
        SendMessageW(form->Handle(), message, wParam, 0);
        const RECT rect = form->WindowRect();
        return std::pair<int, int>(rect.left, rect.top);
    };
    form->MoveTo(2996, 300); // where a second monitor was
    EXPECT_EQ(changed(WM_DISPLAYCHANGE, 24), std::pair(kTestDisplay.width - 285 - 5, 300));
    form->MoveTo(-100, -50);
    EXPECT_EQ(changed(WM_SETTINGCHANGE, SPI_SETWORKAREA), std::pair(5, 5));
    form->MoveTo(-100, -50);
    EXPECT_EQ(changed(WM_SETTINGCHANGE, SPI_SETDESKWALLPAPER), std::pair(-100, -50));
    form->MoveTo(540, 6);
    EXPECT_EQ(changed(WM_DISPLAYCHANGE, 24), std::pair(540, 6));
}

// A change of the monitors the system does not announce (Wine does not, for a change of
// the screen from outside) is found by the position timer.
TEST_F(ClockWindow, AnUnannouncedChangeOfTheMonitorsIsFoundByThePositionTimer) {
    struct Shrinking : TForm1 {
        using TForm1::TForm1;
        bool shrunk = false;
        std::vector<lumivane::Rect> Monitors() override {
            return shrunk ? std::vector<lumivane::Rect>{{0, 0, 640, 480}} : TForm1::Monitors();
        }
    };
    ClockState state;
    Shrinking form(state, lumivane::windows::RegistryStoreAt(key.Path()));
    form.MoveTo(1000, 400);
    form.shrunk = true;
    form.Timer2Timer(); // inside the monitor it knows
    EXPECT_EQ(form.WindowRect().left, 1000);
    form.Timer1Timer();
    EXPECT_EQ(form.WindowRect().left, 640 - 285 - 5);
    EXPECT_EQ(form.WindowRect().top, 480 - 285 - 5);
}

// While the foreground window covers the clock's whole monitor, the clock is hidden
// and neither copies the screen nor draws; it is back once that window is not in
// front, and stays when the setting says so.
TEST_F(ClockWindow, HidesWhileAFullScreenWindowIsInFront) {
    using Window = lumivane::Owned<HWND, &DestroyWindow>;
    const auto cover = [](int width, int height) {
        Window window(CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, width, height,
                                      nullptr, nullptr, nullptr, nullptr));
        SetForegroundWindow(window.get());
        return window;
    };
    ClockState state;
    auto form = Start(state);
    form->TimerTimer();
    {
        const Window full = cover(kTestDisplay.width, kTestDisplay.height);
        ASSERT_EQ(GetForegroundWindow(), full.get());
        form->FullScreenTimer();
        EXPECT_TRUE(form->Controller().Hidden());
        EXPECT_FALSE(IsWindowVisible(form->Handle()));
        // Under the hands: a frame would darken it, once told that it was written.
        Whiten(*state.FrameBuffer, 142, 142);
        lumivane::NoteFrameWritten(state, {142, 142, 143, 143});
        form->TimerTimer();
        form->Timer3Timer();
        EXPECT_EQ(state.FrameBuffer->Pixel(142, 142), 0xFFFFFFu) << "drawn while hidden";

        state.HideFullScreen = 0;
        form->FullScreenTimer();
        EXPECT_FALSE(form->Controller().Hidden());
        EXPECT_TRUE(IsWindowVisible(form->Handle()));
        EXPECT_NE(state.FrameBuffer->Pixel(142, 142), 0xFFFFFFu) << "drawn on coming back";
        state.HideFullScreen = 1;
        form->FullScreenTimer();
        EXPECT_TRUE(form->Controller().Hidden());
    }
    form->FullScreenTimer();
    EXPECT_FALSE(form->Controller().Hidden());
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
    const Window almost = cover(kTestDisplay.width, kTestDisplay.height - 1);
    ASSERT_EQ(GetForegroundWindow(), almost.get());
    form->FullScreenTimer();
    EXPECT_FALSE(form->Controller().Hidden());
}

TEST_F(ClockWindow, ClockAsTallAsTheDisplayStaysAtItsTop) {
    StoreAll(30, 52, 0, 6, 300, 5, 2); // 52 x 15 reaches the height: Diameter 768
    ClockState state;
    auto form = Start(state);
    ASSERT_EQ(state.Diameter, kTestDisplay.height);
    const MoveCounter counter(form->Handle());
    for (int tick = 0; tick < 3; ++tick) {
        form->Timer2Timer(); // up 2 as too low, then down 2 as too high: no move at all
        EXPECT_EQ(form->WindowRect().top, 5);
    }
    EXPECT_EQ(counter.Moves(), 0);
    form->MoveTo(300, 6);
    form->Timer2Timer();
    EXPECT_EQ(form->WindowRect().top, 6);
    EXPECT_EQ(counter.Moves(), 1); // the test's own
}

TEST_F(ClockWindow, CursorOffTheHandsShowsItsPixelTransparentAtOnce) {
    ClockState state;
    auto form = Start(state);
    form->MoveTo(100, 100);
    lumivane::TDIB& frame = *state.FrameBuffer;
    Whiten(frame, 50, 60);
    Whiten(frame, 51, 60);
    InvalidateRect(form->Handle(), nullptr, FALSE);
    UpdateWindow(form->Handle()); // the window shows the frame
    const lumivane::windows::ClientDC window(form->Handle());
    ASSERT_EQ(GetPixel(window.get(), 50, 60), RGB(255, 255, 255));
    frame.PutPixel(51, 60, 0); // not shown: only the pixel under the cursor is

    PointAt(*form, 150, 160);
    form->Timer2Timer();

    EXPECT_EQ(GetPixel(window.get(), 50, 60), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(window.get(), 51, 60), RGB(255, 255, 255));
    form->Timer2Timer(); // black already: nothing changes
    EXPECT_EQ(GetPixel(window.get(), 50, 60), RGB(0, 0, 0));
    EXPECT_TRUE(IsBlack(frame, 50, 60));
}

TEST_F(ClockWindow, AStillPointerIsLookedAtAgainOnlyAfterTheWindowMovesOrDraws) {
    ClockState state;
    auto form = Start(state);
    form->MoveTo(100, 100);
    lumivane::TDIB& frame = *state.FrameBuffer;
    PointAt(*form, 150, 160);
    form->Timer2Timer();
    Whiten(frame, 50, 60); // behind the window's back: nothing tells it to look

    form->Timer2Timer();
    EXPECT_FALSE(IsBlack(frame, 50, 60));

    form->MoveTo(101, 100); // the pointer is over (49, 60) now
    Whiten(frame, 49, 60);
    form->Timer2Timer();
    EXPECT_TRUE(IsBlack(frame, 49, 60));
}

TEST_F(ClockWindow, CursorOnAHandSampleLeavesItsPixel) {
    ClockState state;
    auto form = Start(state);
    form->MoveTo(100, 100);
    lumivane::TDIB& frame = *state.FrameBuffer;
    // One sample on each hand, at the last row and last column the test covers.
    state.HourSamples.X(state.HourHandLength, 18) = 50;
    state.HourSamples.Y(state.HourHandLength, 18) = 60;
    state.MinuteSamples.X(state.MinuteHandLength, 14) = 70;
    state.MinuteSamples.Y(state.MinuteHandLength, 14) = 80;
    state.SecondSamples.X(0, 10) = 90;
    state.SecondSamples.Y(0, 10) = 20;
    for (auto [u, v] : {std::pair{50, 60}, {70, 80}, {90, 20}}) {
        Whiten(frame, u, v);
        PointAt(*form, 100 + u, 100 + v);
        form->Timer2Timer();
        EXPECT_FALSE(IsBlack(frame, u, v)) << u << "," << v;
    }
}

TEST_F(ClockWindow, CursorOnTheLeftmostColumnOrTopRowChangesNothing) {
    ClockState state;
    auto form = Start(state);
    form->MoveTo(100, 100);
    lumivane::TDIB& frame = *state.FrameBuffer;
    Whiten(frame, 0, 40);
    Whiten(frame, 40, 0);
    PointAt(*form, 100, 140);
    form->Timer2Timer();
    PointAt(*form, 140, 100);
    form->Timer2Timer();
    EXPECT_FALSE(IsBlack(frame, 0, 40));
    EXPECT_FALSE(IsBlack(frame, 40, 0));
    // The last column and row inside the window do count.
    Whiten(frame, 284, 284);
    PointAt(*form, 100 + 284, 100 + 284);
    form->Timer2Timer();
    EXPECT_TRUE(IsBlack(frame, 284, 284));
}

TEST_F(ClockWindow, PositionIsSavedOnceAfterAMoveAndNotWhileStill) {
    StoreAll(30, 19, 0, 6, 400, 100, 2);
    ClockState state;
    auto form = Start(state);
    // Marks in the store show whether anything was written.
    key.Write("Left", 12345);
    key.Write("Top", 54321);

    form->Timer1Timer();
    EXPECT_EQ(key.Read("Left"), 12345);
    EXPECT_EQ(key.Read("Top"), 54321);

    form->MoveTo(300, 200);
    form->Timer1Timer();
    EXPECT_EQ(key.Read("Left"), 300);
    EXPECT_EQ(key.Read("Top"), 200);
    EXPECT_EQ(state.SavedLeft, 300);
    EXPECT_EQ(state.SavedTop, 200);

    key.Write("Left", 777);
    form->Timer1Timer();
    EXPECT_EQ(key.Read("Left"), 777);
}

TEST_F(ClockWindow, EveryWayOutStoresAMoveThePositionTimerHasNotSeen) {
    StoreAll(30, 19, 0, 6, 400, 100, 2);
    ClockState state;
    auto form = Start(state);
    HWND window = form->Handle();
    form->MoveTo(300, 200);
    EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, 0), TRUE);
    EXPECT_EQ(key.Read("Left"), 300);
    EXPECT_EQ(key.Read("Top"), 200);

    form->MoveTo(310, 210);
    SendMessageW(window, WM_ENDSESSION, FALSE, 0); // the session goes on
    EXPECT_EQ(key.Read("Left"), 300);
    SendMessageW(window, WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(key.Read("Left"), 310);

    form->MoveTo(320, 220);
    form->Close();
    EXPECT_EQ(key.Read("Left"), 320);
    EXPECT_EQ(key.Read("Top"), 220);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(TakeQuit());
}

TEST_F(ClockWindow, QuickRedrawOnlyWhileAwayFromTheSavedPlace) {
    StoreAll(30, 19, 0, 6, 400, 100, 2);
    ClockState state;
    auto form = Start(state);
    // A pending size change shows whether a frame was drawn.
    state.Size = 20;
    lumivane::RecomputeGeometry(state, kTestDisplay.height);

    form->Timer3Timer();
    EXPECT_EQ(state.PrevDiameter, 285);

    form->MoveTo(410, 100);
    form->Timer3Timer();
    EXPECT_EQ(state.PrevDiameter, 300);
}

TEST_F(ClockWindow, ReportsCaptionEverywhere) {
    ClockState state;
    auto form = Start(state);
    EXPECT_EQ(SendMessageW(form->Handle(), WM_NCHITTEST, 0, MAKELPARAM(600, 100)), HTCAPTION);
    EXPECT_EQ(SendMessageW(form->Handle(), WM_NCHITTEST, 0, MAKELPARAM(5, 700)), HTCAPTION);
}
