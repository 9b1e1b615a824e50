#pragma once
// The clock drawn see-through, for desktops whose compositor blends each window over what
// lies beneath it and lets no program read beneath its own window (Wayland, XWayland).
// The dome is black with alpha 1 - k, k the dome factor of the pixel: the compositor then
// darkens the desktop itself, whatever it shows. Beads and hands are lit over the best
// estimate of the desktop, each pixel as translucent as its colour allows. A capture of
// the screen holds the clock too, but where the clock drew the premultiplied colour C
// with alpha a the screen shows O = C + (1 - a) B, so the desktop B comes back wherever
// a < 1; beneath opaque pixels the last estimate stays.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "core/clock/clock_state.h"
#include "core/geometry.h"

namespace lumivane {

// Premultiplied 0xAARRGGBB pixels, rows top to bottom: cairo's ARGB32 and wl_shm's
// ARGB8888 on a little-endian machine.
struct ArgbImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels;

    // Every pixel transparent.
    void Resize(int32_t newWidth, int32_t newHeight);
    uint32_t At(int32_t x, int32_t y) const {
        return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + x];
    }
};

// What a compositor shows for one premultiplied channel `colour` of alpha `alpha` over
// `beneath`: colour + beneath x (255 - alpha) / 255, rounded to nearest (as pixman blends).
constexpr uint8_t Blend(uint8_t colour, uint8_t alpha, uint8_t beneath) {
    const uint32_t scaled = static_cast<uint32_t>(beneath) * (255u - alpha) + 128u;
    const uint32_t shown = colour + ((scaled + (scaled >> 8)) >> 8);
    return static_cast<uint8_t>(shown > 255 ? 255 : shown);
}

// `parts` of FrameBuffer (the frame drawn over BackgroundBuffer, the estimate) as the
// see-through picture in `out`, which takes the frame's size (then all of it is made).
// Outside the disc black is transparent.
void ComposeSeeThrough(ClockState& state, std::span<const Rect> parts, ArgbImage& out);

// A capture of the screen: 0x..RRGGBB pixels, rows top to bottom, `stride` pixels apart,
// showing `area` of the desktop, and where the clock's last picture showed in it (nothing:
// it did not show).
struct ScreenCapture {
    const uint32_t* pixels = nullptr;
    int32_t stride = 0;
    Rect area;
    std::optional<Place> clockAt;
};

// The clock as the screen showed it in the capture: its picture at its place (no
// picture: it did not show).
struct ShownClock {
    const ArgbImage* picture = nullptr;
    Place at;
};

// The last estimate `background` holds: none, or the desktop beneath the square at `at`.
struct Estimate {
    bool known = false;
    Place at;
};

// What the last recovery saw, row by row: a row where neither the screen nor the clock's
// picture changed since, at the same place, keeps its estimate without being looked at
// (most of them, at every frame of a still desktop).
struct RecoveryMemory {
    Place at;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> screen;
    std::vector<uint32_t> drawn;
    std::vector<uint8_t> known; // per row: both rows above hold what that row saw

    // For a square of `width` x `height` at `at`: forgets what it saw unless it saw that
    // square and `still` holds.
    void Fit(Place square, int32_t squareWidth, int32_t squareHeight, bool still);
    // Whether row `y` shows what it showed last (`screen` and `drawn`, each the square's
    // width): otherwise it takes them.
    bool Saw(int32_t y, const uint32_t* screenRow, const uint32_t* drawnRow);
};

// Fills `background` with the desktop beneath the square of its size at `at`, from a
// capture that shows `shown` over it: where the clock showed nothing the capture itself,
// where it was translucent the desktop recovered (the last estimate while it still fits
// the capture: the rounding leaves a few values that do), beneath opaque pixels and
// beyond the capture the last estimate, or black without one. With `memory`, rows that
// have not changed since the last call are passed by.
void RecoverBeneath(TDIB& background, const Estimate& last, Place at, const ScreenCapture& capture,
                    const ShownClock& shown, RecoveryMemory* memory = nullptr);

// Whether `capture` shows nothing but the clock's picture `shown` over `background`, the
// estimate of the desktop beneath the square at `at`: then nothing beneath changed since
// it was made. A capture reaching beyond the square, or a picture that does not lie on it,
// tells nothing (false). With `memory`, rows the last call found so, where neither the
// screen nor the picture changed since, are passed by.
bool ShowsOnlyTheClock(TDIB& background, Place at, const ScreenCapture& capture,
                       const ShownClock& shown, RecoveryMemory* memory = nullptr);

// The see-through picture's one owner: the estimate of the desktop beneath the clock, the
// picture last given to the compositor, and the desktop recovered from captures of the
// screen. A frame runs one way through it: capture, Read, the renderer, Compose, present.
class SeeThroughPicture {
  public:
    // A capture of the screen over `area` with the clock's last picture in it; nothing
    // when none can be had.
    using Capture = std::function<std::optional<ScreenCapture>(const Rect& area)>;

    // Fills `background` with the best estimate of the desktop beneath the square of its
    // size at `at`: recovered from a capture there, which is asked for unless
    // `tellsChanges` and nothing changed since the estimate was made at that place.
    // Without a capture the last estimate stays (black at first). True when `background`
    // may have changed.
    bool Read(TDIB& background, Place at, bool tellsChanges, const Capture& capture);
    // The frame's `parts` see-through (all of it at a new size): what is shown next.
    const ArgbImage& Compose(ClockState& state, std::span<const Rect> parts);
    // Whether `copy`, a capture made when the screen over the clock changed (nothing: the
    // compositor could not make one), shows a change beneath it, which the next frame
    // then captures. What the clock itself drew anew over the estimate in `background` is
    // no change.
    bool ChangeShown(TDIB& background, const ScreenCapture* copy);
    // Nothing watched the screen beneath for a while (the clock was hidden).
    void Forget() { stale_ = true; }

  private:
    ShownClock ShownIn(const ScreenCapture& capture) const;

    Estimate estimate_;
    int32_t side_ = 0; // of the estimate
    bool stale_ = true;
    RecoveryMemory memory_;   // of the recoveries
    RecoveryMemory verified_; // of the rows found to show only the clock
    ArgbImage picture_;
};

} // namespace lumivane
