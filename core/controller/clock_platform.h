#pragma once
// What the clock's life needs of a platform: each front end implements this interface
// (and SettingsView) and nothing of the order in which the core calls it.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/geometry.h"
#include "core/image/tdib.h"

namespace lumivane {

class SettingsStore;

// The clock's timers; the platform runs each at the interval the core asks for and calls
// ClockController::Fire with it.
enum class ClockTimer : uint8_t {
    Tick,            // the time of day and a frame
    SavePlace,       // the place, once the clock has moved
    KeepInside,      // one step of edge keeping
    RedrawWhileAway, // a frame while the clock is away from its saved place
    FullScreenCheck, // a look at the window in front, where nothing says when it changes
    SoonAfterChange, // a frame after a change beneath, where the platform tells of them
};
inline constexpr size_t kClockTimers = 6;

struct TimeOfDay {
    uint16_t hour = 0; // 0..23
    uint16_t minute = 0;
    uint16_t second = 0; // 0..59
    uint16_t millisecond = 0;
};

// How a platform differs in what it tells and what it needs.
struct PlatformTraits {
    // The edge keeping's tick also serves the pointer (Windows blackens the pixel under
    // it), so it runs at rest too; elsewhere it stops until the clock moves again.
    bool placementTickAtRest = false;
    // Nothing tells the platform when the window in front changes (asked again after
    // each look): the core looks every kFullScreenCheckInterval ms.
    bool pollFrontWindow = false;
    // The platform tells of every change beneath the clock (BeneathChanged), and reads
    // nothing when there was none: the tick then comes once a second, at the turn of the
    // second, and a change beneath is drawn within the frame interval.
    bool tellsChangesBeneath = false;
};

class ClockPlatform {
  public:
    virtual ~ClockPlatform() = default;

    virtual PlatformTraits Traits() const = 0;
    // The monitors' rectangles on the desktop, the primary first; never empty.
    virtual std::vector<Rect> Monitors() = 0;
    // A new access to the settings store, for one use.
    virtual std::unique_ptr<SettingsStore> Store() = 0;
    // An image buffer the platform can read the screen into and show.
    virtual std::unique_ptr<TDIB> MakeBuffer() = 0;
    virtual TimeOfDay Now() = 0;

    // The clock window: its side (its client area is square), its top-left corner on
    // the desktop, and whether it shows.
    virtual void SizeWindow(int32_t side) = 0;
    virtual void MoveWindow(Place to) = 0;
    virtual void ShowWindow(bool shown) = 0;
    // Fills `background` with what lies beneath the clock at `at`, the clock left out.
    // False when the platform knows that nothing there changed since its last read at
    // that place (it then need not touch the buffer); true when it may have.
    virtual bool ReadBeneath(TDIB& background, Place at) = 0;
    // Shows these parts of the frame (none: nothing changed) in the window.
    virtual void Present(std::span<const Rect> parts) = 0;

    virtual void StartTimer(ClockTimer timer, uint32_t interval) = 0;
    virtual void StopTimer(ClockTimer timer) = 0;

    // The outer rectangle of the program window in front; nothing when none is, or it is
    // minimized, the desktop's or one of this program's own.
    virtual std::optional<Rect> FrontWindow() = 0;

    // Shows a problem in a message box captioned kTitle. True when the box was answered
    // before this returned; otherwise the platform calls
    // ClockController::ProblemAnswered once it is.
    virtual bool ShowProblem(const std::string& text) = 0;

    // The hours and minutes the clock shows, at start-up and whenever they change (never
    // more than once a minute): the platform gives them to assistive technology as its
    // clock's text and tells it of the change. A platform without it leaves it be.
    virtual void TimeShownChanged(TimeOfDay /*shown*/) {}
};

// The time as a 24-hour "hh:mm", for a platform that cannot have the user's own format.
std::string ShortTimeText(TimeOfDay time);

} // namespace lumivane
