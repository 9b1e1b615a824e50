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
#include "core/render/see_through.h"

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

// How a platform differs in what it tells and what it needs; fixed before the clock starts.
struct PlatformTraits {
    // The edge keeping's tick also serves the pointer: off the hands, the pixel under a
    // resting pointer is made see-through, so that a press there falls through
    // (PointerOverClock). So it runs at rest too; elsewhere it stops until the clock moves.
    bool placementTickAtRest = false;
    // Nothing tells the platform when the window in front changes (asked again after
    // each look): the core looks every kFullScreenCheckInterval ms.
    bool pollFrontWindow = false;
    // The platform tells of every change beneath the clock (BeneathChanged, or
    // ScreenChanged), and reads nothing when there was none: the tick then comes once a
    // second, at the turn of the second, and a change beneath is drawn within the frame
    // interval.
    bool tellsChangesBeneath = false;
    // The compositor blends the window over what lies beneath it (Wayland, XWayland):
    // the platform shows the see-through picture and sees beneath only in captures of
    // the screen, which hold the clock too (CaptureScreen).
    bool seeThrough = false;
    // The window takes input only where a press takes a hand: each frame comes with
    // those pixels.
    bool shapesInput = false;
    // A clock dragged past its monitor's edge is pushed back as it is dragged; elsewhere
    // the edge is kept once it is let go.
    bool keepsInsideWhileDragged = false;
};

// A frame for the platform to show.
struct Frame {
    // The parts of the clock's FrameBuffer that changed since the last (none: nothing).
    std::span<const Rect> parts;
    // The frame see-through, on a platform that shows that (seeThrough); all of it is new
    // when its size is.
    const ArgbImage* picture = nullptr;
    // One byte a pixel, rows top to bottom, 1 where a press takes a hand (shapesInput).
    const std::vector<uint8_t>* hands = nullptr;
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
    // that place (it then need not touch the buffer); true when it may have. A
    // see-through platform reads nothing: it captures.
    virtual bool ReadBeneath(TDIB& /*background*/, Place /*at*/) { return false; }
    // A capture of the screen over `area` with the clock in it, on a see-through platform;
    // nothing when none can be had.
    virtual std::optional<ScreenCapture> CaptureScreen(const Rect& /*area*/) {
        return std::nullopt;
    }
    // Shows the frame in the window.
    virtual void Present(const Frame& frame) = 0;
    // The pointer's pixel in the clock, where placementTickAtRest, when the pointer rests
    // over the clock and a visible pixel may have come under it since the last question;
    // nothing otherwise.
    virtual std::optional<Place> PointerOverClock() { return std::nullopt; }

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
