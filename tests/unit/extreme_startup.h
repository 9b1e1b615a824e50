#pragma once
// The clock's road from its registry values to a frame, as the program takes it,
// without a window: the load (a missing or unreadable value takes its first-start
// default), the first-start defaults, the derived state, the settings window's
// track bars taking the loaded values, a move of a bar, and the clock tick's
// resize before each frame. Shared by the extreme-value tests and the fuzzer.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>

#include "clock_window/clock_state.h"
#include "render/render.h"

namespace lumivane::extreme {

// The stored values in the order of the load.
enum StoredValue : int { kBright, kSize, kAlgoritm, kContrast, kLeft, kTop, kStart1 };
inline constexpr int kStoredValueCount = 7;
inline constexpr const char* kStoredValueNames[kStoredValueCount] = {
    "Bright", "Size", "Algoritm", "Contrast", "Left", "Top", "Start_1"};
inline constexpr int32_t ClockState::*kStoredFields[kStoredValueCount] = {
    &ClockState::Bright,    &ClockState::Size,     &ClockState::Algoritm,  &ClockState::Contrast,
    &ClockState::SavedLeft, &ClockState::SavedTop, &ClockState::StartCount};

struct StoredSettings {
    bool keyPresent = true;
    // An empty entry is a value that is missing or not a 32-bit integer.
    std::array<std::optional<int32_t>, kStoredValueCount> values{};
};

// A key as a second start finds it: every value present and in range.
inline StoredSettings UsualSettings() {
    StoredSettings stored;
    stored.values = {30, 19, 0, 6, 100, 6, 2};
    return stored;
}

inline std::unique_ptr<TDIB> PlainBuffer() {
    return std::make_unique<TDIB>();
}

// The clock window's creation, apart from the window itself.
inline void StartClock(ClockState& state, Display display, const StoredSettings& stored) {
    if (stored.keyPresent) {
        ClockState defaults;
        ApplyFirstStartDefaults(defaults, display);
        for (int i = 0; i < kStoredValueCount; ++i) {
            state.*kStoredFields[i] = stored.values[i].value_or(defaults.*kStoredFields[i]);
        }
    }
    if (state.StartCount == 0) {
        ApplyFirstStartDefaults(state, display);
    }
    DeriveStartupState(state, display, &PlainBuffer);
    state.StartCount = NextStartCount(state.StartCount);
}

enum class TrackBar { Bright, Size, Algoritm, Contrast };

// A bar's change handler: the setting takes the bar's position, then the derived
// values follow.
inline void TrackBarChange(ClockState& state, TrackBar bar, int32_t position,
                           int32_t displayHeight) {
    switch (bar) {
    case TrackBar::Bright:
        state.Bright = position;
        state.BrightFactor = state.Bright / 30.0L;
        RecomputeShading(state);
        break;
    case TrackBar::Size:
        state.Size = position;
        RecomputeGeometry(state, displayHeight);
        break;
    case TrackBar::Algoritm:
        state.Algoritm = position;
        break;
    case TrackBar::Contrast:
        state.Contrast = position;
        state.ContrastFactor = state.Contrast / 30.0L;
        RecomputeShading(state);
        break;
    }
}

// The settings window's creation: each bar clamps its setting to its range and,
// only when that differs from the bar's design position, runs its change handler.
inline void CreateSettingsWindow(ClockState& state, int32_t displayHeight) {
    struct Bar {
        TrackBar bar;
        int32_t ClockState::*setting;
        int32_t minimum;
        int32_t maximum;
        int32_t designPosition;
    };
    constexpr Bar kBars[] = {{TrackBar::Bright, &ClockState::Bright, 0, 30, 0},
                             {TrackBar::Size, &ClockState::Size, 5, 50, 5},
                             {TrackBar::Algoritm, &ClockState::Algoritm, 0, 5, 0},
                             {TrackBar::Contrast, &ClockState::Contrast, 0, 15, 0}};
    for (const Bar& bar : kBars) {
        const int32_t clamped = std::clamp(state.*bar.setting, bar.minimum, bar.maximum);
        if (clamped != bar.designPosition) {
            TrackBarChange(state, bar.bar, clamped, displayHeight);
        }
    }
}

// Stands in for the screen copy: every channel between 64 and 255, so that any
// dome factor from one half up leaves a lit disc; neighbouring pixels differ.
inline void PaintBackground(TDIB& background) {
    for (int32_t y = 0; y < background.Height(); ++y) {
        uint8_t* row = background.Row(y);
        const size_t bytes = 3 * static_cast<size_t>(background.Width());
        uint8_t level = static_cast<uint8_t>(y * 37);
        for (size_t i = 0; i < bytes; ++i) {
            row[i] = static_cast<uint8_t>(64 | level);
            level = static_cast<uint8_t>(level + 29);
        }
    }
}

inline bool FitsTheDiameter(const TDIB& buffer, int32_t diameter) {
    return !buffer.Empty() && buffer.Width() == diameter && buffer.Height() == diameter;
}

enum class Tick {
    Frame, // the whole frame, as the program draws it
    Hands, // the hands alone over the last frame: the dial does not change with the time
};

// The clock tick's frame, from the resize to the hands: true when a frame was
// drawn, false when the clock stays empty. The background is painted after a
// resize and on the first call (`paint`), since the stand-in copy never changes.
inline bool DrawTick(ClockState& state, uint16_t hour, uint16_t minute, uint16_t second,
                     bool paint = false, Tick tick = Tick::Frame) {
    state.Hour = hour;
    state.Minute = minute;
    state.Second = second;
    TDIB& frame = *state.FrameBuffer;
    TDIB& background = *state.BackgroundBuffer;
    if (state.Diameter != state.PrevDiameter) {
        state.PrevDiameter = state.Diameter;
        for (TDIB* buffer : {&frame, &background}) {
            buffer->SetWidth(state.Diameter);
            buffer->SetHeight(state.Diameter);
            if (buffer->Empty() && state.Diameter > 0) {
                buffer->SetSize(state.Diameter, state.Diameter);
            }
        }
        if (!frame.Empty()) {
            std::memset(frame.Row(frame.Height() - 1), 0, frame.SizeImage());
        }
        paint = true;
    }
    if (paint) {
        tick = Tick::Frame;
    }
    if (!FitsTheDiameter(frame, state.Diameter) || !FitsTheDiameter(background, state.Diameter)) {
        return false;
    }
    if (paint) {
        PaintBackground(background);
    }
    if (tick == Tick::Frame) {
        RenderFrame(state);
    } else {
        DrawHourHand(state);
        DrawMinuteHand(state);
        DrawSecondHand(state);
    }
    return true;
}

} // namespace lumivane::extreme
