#pragma once
// The clock's life, written once for every front end: start-up, the tick and its frame,
// size changes, edge keeping, the quick redraw while the clock is away from its saved
// place, the position save, hiding over full-screen programs, the settings window's
// model and which problems the user is shown. It reaches the platform through
// ClockPlatform and the settings window through SettingsView; a front end turns its
// events into calls of it and carries out what it asks.
#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/clock/clock_state.h"
#include "core/controller/clock_platform.h"
#include "core/controller/facts.h"
#include "core/settings/settings_rules.h"

namespace lumivane {

// The settings window as the model sees it; the front end draws it.
class SettingsView {
  public:
    virtual ~SettingsView() = default;
    // The bar's control takes the position, without reporting a move.
    virtual void ShowBar(Bar bar, int32_t position) = 0;
    virtual void ShowStatus(const StatusLine& status) = 0;
    // Opens the window (on a first start).
    virtual void ShowSettings() = 0;
    // A one-shot timer that calls ClockController::StatusTimeUp; false when it cannot run.
    virtual bool StartStatusTimer(uint32_t interval) = 0;
    virtual void StopStatusTimer() = 0;
};

class ClockController {
  public:
    // Both must outlive the controller; nothing is asked of the platform before Start.
    ClockController(ClockState& state, ClockPlatform& platform);
    ClockController(const ClockController&) = delete;
    ClockController& operator=(const ClockController&) = delete;

    // Start-up, the platform's traits fixed by now: loads the settings (a value that
    // cannot be read takes its default and is written back), sizes the clock by the
    // monitor it starts on, places it, counts the start, starts the timers, shows the
    // clock unless a full-screen program covers its monitor, draws the first frame and
    // reports the first problem met. OpenSettings ends it.
    void Start();
    const std::string& StartupProblem() const { return startupProblem_; }

    // Every timer of the clock, by the timer the platform ran.
    void Fire(ClockTimer timer);
    void Tick(); // the time of day, then a frame
    // The system's time or time zone changed, or it woke from sleep: the new time at once.
    void TimeChanged() { Tick(); }
    // The position timer: the monitors looked at again, then the place saved if it moved.
    void PlaceTick();
    void SavePlaceIfMoved();
    // One step of edge keeping; false (nothing done) while the clock is hidden.
    bool KeepInside();
    void RedrawWhileAway();
    // Hides the clock while a program's window in front covers its monitor and hiding is
    // on; shows it again (with a fresh frame) when that ends.
    void CheckFullScreen();

    // One frame: a new size first, then what lies beneath (read, or captured and
    // recovered), the changed tiles, shown.
    void Draw();
    // The window was moved (by the user, its window manager, or as asked).
    void Moved(Place at);
    // The monitors were added, removed, rearranged or resized.
    void MonitorsChanged();
    // Something beneath the clock changed (where the platform tells of it).
    void BeneathChanged();
    // The screen over the clock changed (where a see-through platform tells of it):
    // `copy` shows it (nothing when none could be made). Whether that is a change beneath
    // the clock, which the next frame then captures, rather than its own new picture.
    bool ScreenChanged(const ScreenCapture* copy);

    // The drag by a hand, fed by the platform's pointer events. A press of the primary
    // button at `pixel` of the clock, the pointer at `pointer` (on the desktop, or in
    // any coordinates PointerMoved is given): whether it takes a hand. The clock then
    // follows the pointer's travel until the button is let go.
    bool HandPressed(Place pixel, Place pointer);
    void PointerMoved(Place pointer);
    // Let go (or the platform took the pointer away): the edge keeping and the position
    // save take over.
    void HandReleased();
    bool Dragging() const { return grip_.has_value(); }
    // Every way out: a move the position save has not seen yet is stored.
    void Exit() { SavePlaceIfMoved(); }

    Place Where() const { return place_; }
    // The monitor the clock belongs to: the one that holds its centre, else the nearest.
    Rect Monitor();
    bool Hidden() const { return hidden_; }
    // The clock tick's interval, ms, as the last frame's size made it: the ticks fall this
    // far apart, one just after every turn of the second.
    uint32_t TickInterval() const { return tickInterval_; }

    // The settings window's model. OpenSettings, start-up's last step, binds the view:
    // its bars take the settings (clamped to their ranges), its status line the hint, and
    // on a first start it opens.
    void OpenSettings(SettingsView& view);
    void CloseSettings() { view_ = nullptr; }
    void BarMoved(Bar bar, int32_t position);
    // "Save Settings": every stored value but the start count, then the confirmation for
    // a while. Throws Error, the hint back, when the store refuses.
    void SaveSettings();
    void StatusTimeUp();
    bool HidesOverFullScreen() const { return state_.HideFullScreen != 0; }
    // The tray item: stored at once.
    void SetHideFullScreen(bool hide);
    // Where a settings window of the outer size `width` x `height` goes: centred, `inset`
    // above the bottom of the primary monitor.
    Place SettingsPlace(int32_t width, int32_t height, int32_t inset);

    // Problems the user is shown: one box at a time; a text already open or waiting is not
    // added again, and is shown again once its box was answered.
    void Report(const std::string& text);
    void ProblemAnswered();

  private:
    const std::vector<Rect>& KnownMonitors();
    void Load(const Rect& primary);
    // Whether a full-screen program covers the clock's monitor and hides it.
    bool FullScreenInFront();
    TimeOfDay ReadTime();
    void Resize();
    void FitTickInterval(); // to the clock's size
    // Sets the clock tick due, read `now`.
    void RunTick(const TimeOfDay& now);
    // Where the frame comes from on a see-through platform: captured and recovered.
    bool CaptureBeneath();
    // The frame's parts, shown.
    void Show(std::span<const Rect> parts);
    // Off the hands, the pixel under a resting pointer turns see-through.
    void ClearPixelUnderPointer();
    void MoveTo(Place to);
    // The clock is at `to` (moved there, with `move`): the placement timers run, and on
    // another monitor the window in front is looked at again.
    void GoTo(Place to, bool move);
    // The placement timers run while the clock may be away from where it belongs.
    void WatchPlace(bool watch = true);
    // Runs `timer` every `interval` ms; 0 stops it.
    void RunTimer(ClockTimer timer, uint32_t interval);
    // Writes these values of the clock state; throws Error when the store refuses.
    void WriteValues(std::span<const StoredValue> values, bool asked = false);
    // The same at start-up, where a failure becomes the start-up problem, and later,
    // where it is shown.
    void WriteAtStart(std::span<const StoredValue> values);
    void WriteOrTell(std::span<const StoredValue> values);
    void ShowNextProblem();

    ClockState& state_;
    ClockPlatform& platform_;
    PlatformTraits traits_; // as Start found them
    SettingsView* view_ = nullptr;
    std::vector<Rect> monitors_; // kept: asking costs round trips, and the edge keeping
                                 // needs them every 30 ms
    Place place_;
    int32_t side_ = 0;         // of the window
    int32_t shownMinute_ = -1; // of the day, as assistive technology was last told it
    bool hidden_ = false;
    // A hand held: where the clock and the pointer stood at the press.
    struct Grip {
        Place clock;
        Place pointer;
    };
    std::optional<Grip> grip_;
    SeeThroughPicture seeThrough_;
    std::vector<uint8_t> hands_; // where a press takes a hand, for platforms that shape input
    std::array<uint32_t, kClockTimers> intervals_{}; // 0: stopped
    uint32_t tickInterval_ = 1000;
    std::string startupProblem_;
    bool writable_ = true; // the store could be read at start-up
    bool refused_ = false; // the user was told that the store refuses writing
    bool confirming_ = false;
    std::deque<std::string> problems_; // waiting for a box
    std::string shownProblem_;
    bool problemShown_ = false;
};

} // namespace lumivane
