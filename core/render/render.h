#pragma once
// The renderers: plain procedures over ClockState. The dial reads
// BackgroundBuffer and writes FrameBuffer; each hand lights FrameBuffer.
#include <array>
#include <cstdint>
#include <span>

#include "core/clock/clock_state.h"

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

// The 60 minute marks, clockwise from 12 o'clock.
void DrawMinuteMarks(ClockState& state);
// The 169 dots of the twelve numerals.
void DrawNumerals(ClockState& state);
// The label's dots (label.h), centred below the hub; nothing without a label.
void DrawLabel(ClockState& state);

// The whole dial: dome, 60 minute marks, 169 numeral dots, the label.
void DrawDial(ClockState& state);

void DrawHourHand(ClockState& state);
void DrawMinuteHand(ClockState& state);
void DrawSecondHand(ClockState& state);

// One frame from BackgroundBuffer: DrawDial, then the hour, minute and second hands.
void RenderFrame(ClockState& state);

// The same frame as RenderFrame, drawing only what can differ from the frame that
// FrameBuffer holds from the last call: the tiles where the background under the dial
// changed, where a hand lay or lies now, and where NoteFrameWritten said that others
// wrote. The first call, and any after the buffers, the size or the settings changed
// (or after RenderFrame), draws the whole frame. Returns the parts of FrameBuffer that
// were drawn, valid until the next call.
// `backgroundChanged` false: BackgroundBuffer is known to be as it was at the last call,
// and is not looked at again.
std::span<const Rect> RenderChangedFrame(ClockState& state, bool backgroundChanged = true);

// Frame pixels written by others than the renderers since the last frame (the pointer's
// black pixel): the next RenderChangedFrame draws them again.
void NoteFrameWritten(ClockState& state, Rect part);

// Whether BackgroundBuffer, a copy of the screen taken while the clock was off it, still
// shows the clock somewhere: along one of a few rows, a run of pixels equal to the
// frame's visible pixels where those differ from the background of the last frame. (A
// screen that has not yet put back what lies beneath shows the clock's last frame.)
bool CopyShowsFrame(ClockState& state);

// One dot of a numeral: grid position (a, b) in units of Thickness from the
// numeral's anchor, and a nudge in pixels of
// (nudgeX + nudgeXHalf * (Thickness div 2), nudgeY).
struct GlyphDot {
    int8_t a = 0;
    int8_t b = 0;
    int8_t nudgeX = 0;
    int8_t nudgeXHalf = 0;
    int8_t nudgeY = 0;
};

namespace glyphs {

struct Nudge {
    int8_t x = 0;
    int8_t xHalf = 0;
    int8_t y = 0;
};
inline constexpr Nudge kStay{};
inline constexpr Nudge kUp{0, 0, -1};
inline constexpr Nudge kDown{0, 0, 1};
inline constexpr Nudge kRight{1, 0, 0};
inline constexpr Nudge kLeftHalf{0, -1, 0};
inline constexpr Nudge kRightHalf{0, 1, 0};

constexpr GlyphDot Dot(int a, int b, Nudge nudge = kStay) {
    return {static_cast<int8_t>(a), static_cast<int8_t>(b), nudge.x, nudge.xHalf, nudge.y};
}

// Dots in drawing order.
inline constexpr GlyphDot kTwelve[] = {
    Dot(-3, -2), Dot(-2, -3), Dot(-2, -2), Dot(-2, -1), Dot(-2, 0), Dot(-2, 1), Dot(-2, 2),
    Dot(-2, 3),  Dot(1, -3),  Dot(2, -3),  Dot(3, -2),  Dot(3, -1), Dot(2, 0),  Dot(1, 1),
    Dot(3, 3),   Dot(2, 3),   Dot(1, 3),   Dot(0, 3),   Dot(0, 2),  Dot(0, -2)};
inline constexpr GlyphDot kOne[] = {Dot(-1, -2, kUp), Dot(0, -3, kUp), Dot(0, -2, kUp),
                                    Dot(0, -1, kUp),  Dot(0, 0, kUp),  Dot(0, 1, kUp),
                                    Dot(0, 2, kUp),   Dot(0, 3, kUp)};
inline constexpr GlyphDot kTwo[] = {Dot(0, -3, kUp), Dot(1, -3, kUp), Dot(2, -2, kUp),
                                    Dot(2, -1, kUp), Dot(1, 0, kUp),  Dot(0, 1, kUp),
                                    Dot(2, 3, kUp),  Dot(1, 3, kUp),  Dot(0, 3, kUp),
                                    Dot(-1, 3, kUp), Dot(-1, 2, kUp), Dot(-1, -2, kUp)};
inline constexpr GlyphDot kThree[] = {Dot(0, -3), Dot(1, -3), Dot(2, -2), Dot(2, -1),
                                      Dot(1, 0),  Dot(2, 1),  Dot(2, 2),  Dot(1, 3),
                                      Dot(0, 3),  Dot(-1, 2), Dot(-1, -2)};
inline constexpr GlyphDot kFour[] = {
    Dot(0, -1, kDown), Dot(2, -3, kDown), Dot(2, -2, kDown), Dot(2, -1, kDown), Dot(2, 0, kDown),
    Dot(2, 1, kDown),  Dot(2, 2, kDown),  Dot(2, 3, kDown),  Dot(-1, 1, kDown), Dot(0, 1, kDown),
    Dot(1, 1, kDown),  Dot(3, 1, kDown),  Dot(-1, 0, kDown), Dot(1, -2, kDown)};
inline constexpr GlyphDot kFive[] = {Dot(-2, -3), Dot(-1, -3), Dot(0, -3), Dot(1, -3), Dot(-2, -2),
                                     Dot(-2, -1), Dot(-1, -1), Dot(0, -1), Dot(1, 0),  Dot(1, 1),
                                     Dot(1, 2),   Dot(0, 3),   Dot(-1, 3), Dot(-2, 2)};
inline constexpr GlyphDot kSix[] = {
    Dot(0, -3, kLeftHalf),  Dot(1, -3, kLeftHalf), Dot(2, -2, kLeftHalf), Dot(-1, -2, kLeftHalf),
    Dot(-1, -1, kLeftHalf), Dot(-1, 0, kLeftHalf), Dot(-1, 1, kLeftHalf), Dot(-1, 2, kLeftHalf),
    Dot(0, 3, kLeftHalf),   Dot(1, 3, kLeftHalf),  Dot(2, 2, kLeftHalf),  Dot(2, 1, kLeftHalf),
    Dot(1, 0, kLeftHalf),   Dot(0, 0, kLeftHalf)};
inline constexpr GlyphDot kSeven[] = {
    Dot(-2, -3), Dot(-1, -3),          Dot(0, -3), Dot(1, -3), Dot(1, -2), Dot(0, -1, kRightHalf),
    Dot(0, 0),   Dot(0, 1, kLeftHalf), Dot(-1, 2), Dot(-1, 3)};
inline constexpr GlyphDot kEight[] = {Dot(-1, -3), Dot(0, -3), Dot(1, -2),  Dot(1, -1), Dot(0, 0),
                                      Dot(-1, 0),  Dot(1, 1),  Dot(1, 2),   Dot(0, 3),  Dot(-1, 3),
                                      Dot(-2, 2),  Dot(-2, 1), Dot(-2, -1), Dot(-2, -2)};
inline constexpr GlyphDot kNine[] = {Dot(-1, -3), Dot(0, -3), Dot(1, -2),  Dot(1, -1), Dot(1, 0),
                                     Dot(0, 0),   Dot(-1, 0), Dot(1, 1),   Dot(1, 2),  Dot(0, 3),
                                     Dot(-1, 3),  Dot(-2, 2), Dot(-2, -1), Dot(-2, -2)};
inline constexpr GlyphDot kTen[] = {
    Dot(-3, -2, kRight), Dot(-2, -3, kRight), Dot(-2, -2, kRight), Dot(-2, -1, kRight),
    Dot(-2, 0, kRight),  Dot(-2, 1, kRight),  Dot(-2, 2, kRight),  Dot(-2, 3, kRight),
    Dot(1, -3, kRight),  Dot(2, -3, kRight),  Dot(3, -2, kRight),  Dot(3, -1, kRight),
    Dot(3, 0, kRight),   Dot(3, 1, kRight),   Dot(3, 2, kRight),   Dot(2, 3, kRight),
    Dot(1, 3, kRight),   Dot(0, 2, kRight),   Dot(0, 1, kRight),   Dot(0, 0, kRight),
    Dot(0, -1, kRight),  Dot(0, -2, kRight)};
inline constexpr GlyphDot kEleven[] = {
    Dot(-3, -2, kRight),   Dot(-2, -3, kRight),   Dot(-2, -2, kRight),   Dot(-2, -1, kRight),
    Dot(-2, 0, kRight),    Dot(-2, 1, kRight),    Dot(-2, 2, kRight),    Dot(-2, 3, kRight),
    Dot(1, -2, kLeftHalf), Dot(2, -3, kLeftHalf), Dot(2, -2, kLeftHalf), Dot(2, -1, kLeftHalf),
    Dot(2, 0, kLeftHalf),  Dot(2, 1, kLeftHalf),  Dot(2, 2, kLeftHalf),  Dot(2, 3, kLeftHalf)};

} // namespace glyphs

// The dot-matrix font of the hour numerals; entry k is the numeral drawn at
// position k (entry 0 is the 12 at the top).
inline constexpr std::array<std::span<const GlyphDot>, 12> NumeralGlyphs = {
    glyphs::kTwelve, glyphs::kOne,  glyphs::kTwo, glyphs::kThree,
    glyphs::kFour,   glyphs::kFive, glyphs::kSix, glyphs::kSeven,
    glyphs::kEight,  glyphs::kNine, glyphs::kTen, glyphs::kEleven};

} // namespace lumivane
