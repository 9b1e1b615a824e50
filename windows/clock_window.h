#pragma once
// TForm1: the clock window. A borderless, topmost, layered window whose black pixels are
// transparent and let mouse input through. It is the Windows platform of the clock's
// life (ClockController): its timers, its place and size, the screen copy beneath it,
// the monitors, the foreground window, the message boxes and the clock's accessible
// object; the controller decides the rest. Off the hands, the pixel under a resting pointer is made
// see-through, so that a press there falls through.
#include <windows.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/clock/clock_state.h"
#include "core/controller/clock_controller.h"
#include "windows/clock_accessible.h"
#include "windows/form.h"
#include "windows/handles.h"
#include "windows/portable_mode.h"

namespace lumivane::windows {

class TWinDIB;

// Window class of the clock window, by which other programs (and the tests) find it.
inline constexpr const wchar_t* kClockWindowClass = L"TForm1";

class TForm1 : public TForm, public ClockPlatform {
  public:
    // Creates the window; FormCreate runs inside the creation. `store` makes the settings
    // store for each use: the program's (the registry, or Lumivane.ini beside the program),
    // chosen once at start; tests pass a registry key or a file of their own.
    TForm1(ClockState& state, StoreMaker store);
    // A screen reader may hold the accessible object longer than the window lives.
    ~TForm1() override;

    ClockController& Controller() { return controller_; }

    // The timer handlers, public so that tests can drive them without waiting.
    void TimerTimer() { controller_.Fire(ClockTimer::Tick); }       // sample the time, draw
    void Timer1Timer() { controller_.Fire(ClockTimer::SavePlace); } // store a new position
    // Keep inside the monitor; click-through off the hands.
    void Timer2Timer() { controller_.Fire(ClockTimer::KeepInside); }
    void Timer3Timer() { controller_.Fire(ClockTimer::RedrawWhileAway); } // while away
    // Hide over a full-screen program, back when it has gone.
    void FullScreenTimer() { controller_.Fire(ClockTimer::FullScreenCheck); }
    void Draw() { controller_.Draw(); }

    void FormCloseQuery(bool& canClose);
    // Every way out: the window closed, the program ended from the tray menu, the
    // session ending. Stores the position as the position timer would.
    void FormClose() { controller_.Exit(); }

    // The private message that shows a problem met while the window was being made.
    static constexpr UINT kShowStartupProblem = WM_APP + 1;

    // ClockPlatform
    PlatformTraits Traits() const override;
    std::vector<Rect> Monitors() override;
    std::unique_ptr<SettingsStore> Store() override;
    std::unique_ptr<TDIB> MakeBuffer() override;
    TimeOfDay Now() override;
    void SizeWindow(int32_t side) override { SetClientSize(side, side); }
    void MoveWindow(Place to) override { MoveTo(to.left, to.top); }
    void ShowWindow(bool shown) override;
    bool ReadBeneath(TDIB& background, Place at) override;
    void Present(const Frame& frame) override;
    std::optional<Place> PointerOverClock() override;
    void StartTimer(ClockTimer timer, uint32_t interval) override;
    void StopTimer(ClockTimer timer) override;
    std::optional<Rect> FrontWindow() override;
    bool ShowProblem(const std::string& text) override;
    // The value of the window's accessible object, and its value-change event.
    void TimeShownChanged(TimeOfDay shown) override;

  protected:
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void ReportError(const char* message) override { controller_.Report(message); }

  private:
    void FormCreate();
    // The window's rectangle on the screen, kept from the moves and resizes the window is
    // told of: the pointer is looked at every 30 ms.
    void KeepPlace();
    void CopyScreen(TWinDIB& background, Place at);
    // The copy under the window while it is off the screen, taken again (for a few ms
    // at most) while the screen still shows the window's last frame.
    void CopyUncovered(TWinDIB& background, Place at);
    void Paint();

    ClockState& state_;
    StoreMaker store_;
    ClockController controller_;
    bool underWine_ = false;
    bool creating_ = false;
    std::string deferredProblem_; // met while the window was being made
    bool presentWhole_ = false;   // the window left the screen: the next frame is drawn whole
    RECT place_{};
    // Something happened that can put a visible pixel under the pointer.
    bool lookAtPointer_ = true;
    ClientDC screenDC_;
    // What WM_GETOBJECT hands out for the client area: the clock, for screen readers.
    ComPtr<ClockAccessible> accessible_;
};

} // namespace lumivane::windows
