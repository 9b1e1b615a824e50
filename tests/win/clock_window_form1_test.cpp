// The clock window as a real window under a test key of its own: start-up with
// the settings store, the frame's resize, the placement timer, click-through and
// the position save.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "clock_window/clock_state.h"
#include "clock_window/win/form1.h"
#include "image/tdib_win.h"
#include "platform/win32_handles.h"
#include "render/render.h"
#include "tests/win/test_support.h"

using lumivane::ClockState;
using lumivane::TForm1;
using lumivane::testing_support::kTestDisplay;
using lumivane::testing_support::RequireTestDisplay;
using lumivane::testing_support::TakeQuit;
using lumivane::testing_support::TestKey;

namespace {

class ClockWindow : public testing::Test {
  protected:
    void SetUp() override {
        RequireTestDisplay();
        SetCursorPos(kTestDisplay.width - 1, kTestDisplay.height - 1); // away from every clock
    }

    std::unique_ptr<TForm1> Start(ClockState& state) {
        return std::make_unique<TForm1>(state, key.Path());
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

// Another program's window under the clock: Notepad, its white page at `place`.
class WindowBeneath {
  public:
    explicit WindowBeneath(RECT place) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        wchar_t command[] = L"notepad.exe";
        if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process_)) {
            return;
        }
        WaitForInputIdle(process_.hProcess, 10000);
        for (int attempt = 0; attempt < 100 && window_ == nullptr; ++attempt) {
            EnumWindows(&FindMain, reinterpret_cast<LPARAM>(this));
            Sleep(50);
        }
        if (window_ != nullptr) {
            SetWindowPos(window_, nullptr, place.left, place.top, place.right - place.left,
                         place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
            Sleep(300); // its page is painted
        }
    }
    ~WindowBeneath() {
        if (process_.hProcess != nullptr) {
            TerminateProcess(process_.hProcess, 0);
            WaitForSingleObject(process_.hProcess, 5000);
            CloseHandle(process_.hThread);
            CloseHandle(process_.hProcess);
        }
    }
    WindowBeneath(const WindowBeneath&) = delete;
    WindowBeneath& operator=(const WindowBeneath&) = delete;

    bool Shown() const { return window_ != nullptr; }

  private:
    static BOOL CALLBACK FindMain(HWND window, LPARAM self) {
        auto* beneath = reinterpret_cast<WindowBeneath*>(self);
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        if (processId == beneath->process_.dwProcessId && IsWindowVisible(window) &&
            GetWindow(window, GW_OWNER) == nullptr) {
            beneath->window_ = window;
            return FALSE;
        }
        return TRUE;
    }

    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
};

} // namespace

TEST_F(ClockWindow, ReadsTheTimeOfDayBeforeItsFirstFrame) {
    const auto secondOfDay = [](const SYSTEMTIME& t) {
        return t.wHour * 3600 + t.wMinute * 60 + t.wSecond;
    };
    SYSTEMTIME before;
    GetLocalTime(&before);
    ClockState state;
    auto form = Start(state);
    SYSTEMTIME after;
    GetLocalTime(&after);
    const int read = state.Hour * 3600 + state.Minute * 60 + state.Second;
    const int day = 24 * 3600;
    EXPECT_LE((read - secondOfDay(before) + day) % day,
              (secondOfDay(after) - secondOfDay(before) + day) % day);
}

TEST_F(ClockWindow, IsALayeredTopmostToolWindowAtTheSavedPlace) {
    ClockState state;
    auto form = Start(state);
    HWND window = form->Handle();

    EXPECT_EQ(FindWindowW(L"TForm1", L"Lumivane"), window);
    EXPECT_TRUE(IsWindowVisible(window));
    const auto exStyle = GetWindowLongPtrW(window, GWL_EXSTYLE);
    EXPECT_TRUE(exStyle & WS_EX_LAYERED);
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
    EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW); // no taskbar button, not in Alt+Tab
    EXPECT_FALSE(exStyle & WS_EX_APPWINDOW);
    EXPECT_EQ(GetWindowLongPtrW(window, GWL_STYLE) & WS_CAPTION, 0);
    COLORREF key = 1;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(window, &key, nullptr, &flags));
    EXPECT_EQ(key, RGB(0, 0, 0));
    EXPECT_EQ(flags & LWA_COLORKEY, static_cast<DWORD>(LWA_COLORKEY));

    const RECT rect = form->WindowRect();
    EXPECT_EQ(rect.left, 540);
    EXPECT_EQ(rect.top, 0);
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 285);
    EXPECT_EQ(client.bottom, 285);

    ASSERT_NE(state.FrameBuffer, nullptr);
    ASSERT_NE(state.BackgroundBuffer, nullptr);
    EXPECT_EQ(state.FrameBuffer->Width(), 285);
    EXPECT_EQ(state.FrameBuffer->Height(), 285);
    EXPECT_EQ(state.BackgroundBuffer->Width(), 285);
    EXPECT_EQ(state.BackgroundBuffer->Height(), 285);
    for (auto [x, y] : {std::pair{0, 0}, {142, 142}, {284, 284}, {284, 0}}) {
        EXPECT_TRUE(IsBlack(*state.FrameBuffer, x, y)) << x << "," << y;
    }
}

TEST_F(ClockWindow, NewDiameterResizesWindowBuffersAndTheTickInterval) {
    ClockState state;
    auto form = Start(state);
    state.Size = 35;
    lumivane::RecomputeGeometry(state, kTestDisplay.height);
    EXPECT_EQ(form->TimerInterval(), 200); // not before the next frame

    form->Draw();

    EXPECT_EQ(state.PrevDiameter, 525);
    EXPECT_EQ(form->TimerInterval(), 1000);
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
    EXPECT_EQ(form->TimerInterval(), 200);
}

TEST_F(ClockWindow, ScreenCopyShowsWhatLiesBeneathNotTheClock) {
    const WindowBeneath beneath({480, 0, 930, 450}); // white from about (483, 22) on
    ASSERT_TRUE(beneath.Shown());
    const COLORREF white = RGB(255, 255, 255);
    const std::pair<int, int> points[] = {{142, 142}, {142, 60}, {60, 200}, {270, 270}};

    ClockState state;
    auto form = Start(state);
    form->Draw(); // the first frame puts the lit dial on the screen
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, 0); // idle: the frame reaches the screen
    if (lumivane::RunningUnderWine()) {
        // There the screen's own device context shows the clock over the window beneath.
        const lumivane::ClientDC screen(nullptr);
        ASSERT_NE(GetPixel(screen.get(), 540 + 142, 142), white);
    }
    form->Draw(); // the second copy must not see it

    lumivane::TDIB& background = *state.BackgroundBuffer;
    for (auto [x, y] : points) {
        const uint8_t* pixel = background.ScanLine(y) + 3 * x;
        EXPECT_EQ(RGB(pixel[2], pixel[1], pixel[0]), white) << "pixel " << x << "," << y;
    }
    // The dial was lit into the frame: the clock showed something of its own.
    const uint8_t* centre = state.FrameBuffer->ScanLine(142) + 3 * 142;
    EXPECT_NE(RGB(centre[2], centre[1], centre[0]), white);
    EXPECT_NE(RGB(centre[2], centre[1], centre[0]), RGB(0, 0, 0));
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
        EXPECT_TRUE(form->HiddenOverFullScreen());
        EXPECT_FALSE(IsWindowVisible(form->Handle()));
        // Under the hands: a frame would darken it, once told that it was written.
        Whiten(*state.FrameBuffer, 142, 142);
        lumivane::NoteFrameWritten(state, {142, 142, 143, 143});
        form->TimerTimer();
        form->Timer3Timer();
        EXPECT_EQ(state.FrameBuffer->Pixel(142, 142), 0xFFFFFFu) << "drawn while hidden";

        state.HideFullScreen = 0;
        form->FullScreenTimer();
        EXPECT_FALSE(form->HiddenOverFullScreen());
        EXPECT_TRUE(IsWindowVisible(form->Handle()));
        EXPECT_NE(state.FrameBuffer->Pixel(142, 142), 0xFFFFFFu) << "drawn on coming back";
        state.HideFullScreen = 1;
        form->FullScreenTimer();
        EXPECT_TRUE(form->HiddenOverFullScreen());
    }
    form->FullScreenTimer();
    EXPECT_FALSE(form->HiddenOverFullScreen());
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
    const Window almost = cover(kTestDisplay.width, kTestDisplay.height - 1);
    ASSERT_EQ(GetForegroundWindow(), almost.get());
    form->FullScreenTimer();
    EXPECT_FALSE(form->HiddenOverFullScreen());
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
    const lumivane::ClientDC window(form->Handle());
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
