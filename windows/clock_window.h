#pragma once
// TForm1: the clock window. A borderless, topmost, layered window whose black
// pixels are transparent and let mouse input through; four timers draw the
// clock, keep it on its monitor, make it click-through off its hands and save
// its position, and a fifth hides it while a full-screen program covers its monitor.
#include <windows.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/form.h"
#include "clock_window/clock_state.h"
#include "clock_window/placement.h"
#include "platform/win32_handles.h"
#include "settings/win/settings_store.h"

namespace lumivane {

class TWinDIB;

// Window class of the clock window, by which other programs (and the tests) find it.
inline constexpr const wchar_t* kClockWindowClass = L"TForm1";
inline constexpr const wchar_t* kClockWindowCaption = L"Lumivane";

class TForm1 : public TForm {
  public:
    // Creates the window; FormCreate runs inside the creation. `settingsKeyPath`
    // is the settings key below HKEY_CURRENT_USER (tests pass a key of their own).
    explicit TForm1(ClockState& state, std::string settingsKeyPath = kSettingsKeyPath);

    // The timer handlers, public so that tests can drive them without waiting.
    void TimerTimer();      // clock tick: sample the time of day, draw a frame
    void Timer1Timer();     // store the position when the window has moved
    void Timer2Timer();     // keep inside the monitor; click-through off the hands
    void Timer3Timer();     // redraw while away from the saved position
    void FullScreenTimer(); // hide over a full-screen program, back when it has gone
    void Draw();
    // The monitors were added, removed, rearranged or resized.
    void MonitorsChanged();

    void FormCloseQuery(bool& canClose);
    // Every way out: the window closed, the program ended from the tray menu, the
    // session ending. Stores the position as the position timer would.
    void FormClose();

    // The problem start-up met with the settings (the store's own text), shown to
    // the user once the message loop runs; empty when there was none.
    const std::string& StartupProblem() const { return startupProblem_; }
    // The interval of the clock tick, ms.
    int32_t TimerInterval() const { return timerInterval_; }
    // The monitor the clock is on.
    Area Monitor() const;
    // Hidden over a full-screen program.
    bool HiddenOverFullScreen() const { return hiddenOverFullScreen_; }

    // The private message that shows StartupProblem.
    static constexpr UINT kShowStartupProblem = WM_APP + 1;

  protected:
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

  private:
    enum TimerId : UINT_PTR { Timer = 1, Timer1, Timer2, Timer3, FullScreenCheck };

    void FormCreate();
    // Writes these values of the clock state to the store; a refused write is a
    // start-up problem.
    void StoreValues(const std::vector<StoredValue>& values);
    void ReadTime();

    void SetTimerInterval(int32_t interval);
    void StartTimer(TimerId id, UINT interval);
    // The window's rectangle on the screen and its client area, kept from the moves
    // and resizes the window is told of: the timers need them every 30 ms.
    void KeepPlace();
    RECT KeptRect() const;
    Place TopLeft() const;
    Area MonitorOf(Place at, int32_t width, int32_t height) const;
    void KeepInsideMonitor();
    void ClearPixelUnderCursor();
    void CopyScreen(TWinDIB& background);
    // The copy under the window while it is off the screen, taken again (for a few ms
    // at most) while the screen still shows the window's last frame.
    void CopyUncovered(TWinDIB& background);
    // Shows these parts of the frame in the window.
    void Present(std::span<const FrameRect> parts);
    void Paint();

    ClockState& state_;
    std::string settingsKeyPath_;
    std::string startupProblem_;
    // The monitors, the primary first, kept: asking for them costs round trips under
    // Wine, and the edge keeping needs them every 30 ms.
    std::vector<Area> monitors_;
    bool hiddenOverFullScreen_ = false;
    int32_t timerInterval_ = 500;
    bool underWine_ = false;
    RECT place_{};
    RECT client_{};
    // Something happened that can put a visible pixel under the pointer.
    bool lookAtPointer_ = true;
    ClientDC screenDC_;
};

// True when the program runs under Wine rather than on Windows itself.
bool RunningUnderWine();

} // namespace lumivane
