#pragma once
// A clock of a chosen diameter with plain black buffers, for the renderer tests.
#include <cstdint>
#include <cstring>
#include <memory>

#include "core/clock/clock_state.h"
#include "core/render/render.h"

namespace lumivane::testing_support {

inline ClockState MakeClock(int32_t diameter, int32_t bright = 30, int32_t contrast = 6) {
    ClockState state;
    state.Bright = bright;
    state.Contrast = contrast;
    state.BrightFactor = bright / 30.0L;
    state.ContrastFactor = contrast / 30.0L;
    state.Size = diameter;
    state.ScreenScale = 1;
    RecomputeGeometry(state, diameter + 1);
    state.PrevDiameter = state.Diameter;
    for (auto* buffer : {&state.FrameBuffer, &state.BackgroundBuffer}) {
        *buffer = std::make_unique<TDIB>();
        (*buffer)->SetBitCount(24);
        (*buffer)->SetSize(diameter, diameter);
        for (int32_t y = 0; y < (*buffer)->Height(); ++y) {
            std::memset((*buffer)->ScanLine(y), 0, static_cast<size_t>((*buffer)->WidthBytes()));
        }
    }
    FillRingOffsets(state);
    return state;
}

inline Colour PixelAt(TDIB& buffer, int32_t x, int32_t y) {
    const uint8_t* pixel = buffer.ScanLine(y) + 3 * x;
    return {pixel[2], pixel[1], pixel[0]};
}

inline void SetPixel(TDIB& buffer, int32_t x, int32_t y, Colour colour) {
    buffer.PutPixel(x, y, RGB(colour.red, colour.green, colour.blue));
}

inline void Fill(TDIB& buffer, Colour colour) {
    for (int32_t y = 0; y < buffer.Height(); ++y) {
        for (int32_t x = 0; x < buffer.Width(); ++x) {
            SetPixel(buffer, x, y, colour);
        }
    }
}

// A picture in which neighbouring pixels differ in every channel.
inline void FillPattern(TDIB& buffer) {
    for (int32_t y = 0; y < buffer.Height(); ++y) {
        for (int32_t x = 0; x < buffer.Width(); ++x) {
            SetPixel(buffer, x, y,
                     {(x * 7 + y * 3) % 256, (x * 5 + y * 11) % 256, (x * 13 + y) % 256});
        }
    }
}

// Every pixel of two buffers of the same size alike.
inline bool SamePicture(TDIB& a, TDIB& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) {
        return false;
    }
    for (int32_t y = 0; y < a.Height(); ++y) {
        for (int32_t x = 0; x < a.Width(); ++x) {
            if (!(PixelAt(a, x, y) == PixelAt(b, x, y))) {
                return false;
            }
        }
    }
    return true;
}

inline void CopyPicture(TDIB& from, TDIB& to) {
    for (int32_t y = 0; y < from.Height(); ++y) {
        for (int32_t x = 0; x < from.Width(); ++x) {
            SetPixel(to, x, y, PixelAt(from, x, y));
        }
    }
}

} // namespace lumivane::testing_support
