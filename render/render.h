#pragma once
// The renderers: plain procedures over ClockState. The dial reads
// BackgroundBuffer and writes FrameBuffer; each hand lights FrameBuffer.
#include <cstdint>

#include "clock_window/clock_state.h"

namespace lumivane {

struct Colour {
    int32_t red = 0;
    int32_t green = 0;
    int32_t blue = 0;
    friend bool operator==(const Colour&, const Colour&) = default;
};

// The lighting rule shared by beads and hands: lifts dark pixels most.
Colour ShadePixel(int32_t red, int32_t green, int32_t blue, long double weight);

// The disc of the frame: the background darkened as a dome.
void ShadeDialDome(ClockState& state);

// One bead of a minute mark, centred (offsetX, offsetY) from the dial centre.
void DrawMinuteMark(ClockState& state, int32_t offsetX, int32_t offsetY);
// One bead of a numeral, centred at frame pixel (x, y).
void DrawNumeralDot(ClockState& state, int32_t x, int32_t y);

// The whole dial: dome, 60 minute marks, 169 numeral dots.
void DrawDial(ClockState& state);

void DrawHourHand(ClockState& state);
void DrawMinuteHand(ClockState& state);
void DrawSecondHand(ClockState& state);

// One frame from BackgroundBuffer: DrawDial, then the hour, minute and second hands.
void RenderFrame(ClockState& state);

} // namespace lumivane
