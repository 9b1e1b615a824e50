#pragma once
// The clock's road from its stored values to a frame, through the program's own
// start-up and bar rules, without a window: the load, the settings window's bars
// taking the loaded values, a move of a bar, and the clock tick's resize before
// each frame. Shared by the extreme-value tests and the fuzzer.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "core/clock/clock_state.h"
#include "core/error.h"
#include "core/render/render.h"
#include "core/settings/settings_rules.h"

namespace lumivane::extreme {

// Indexes of kStoredValues.
enum StoredIndex : int { kBright, kSize, kAlgoritm, kContrast, kLeft, kTop, kStart1 };
inline constexpr int kStoredValueCount = static_cast<int>(kStoredValues.size());

// A store as the load finds it; an empty entry is a value that is missing or not
// a 32-bit integer.
struct StoredSettings : SettingsReader {
    bool keyPresent = true;
    std::array<std::optional<int32_t>, kStoredValueCount> values{};
    std::optional<int32_t> hideFullScreen;

    int32_t ReadValue(const std::string& name) override {
        for (int i = 0; i < kStoredValueCount; ++i) {
            if (name == kStoredValues[i].name && values[i]) {
                return *values[i];
            }
        }
        if (name == kHideFullScreen.name && hideFullScreen) {
            return *hideFullScreen;
        }
        throw Error("Failed to get data for '" + name + "'");
    }
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
inline void StartClock(ClockState& state, Display display, StoredSettings stored) {
    LoadSettings(state, display, stored.keyPresent ? &stored : nullptr);
    DeriveStartupState(state, display, &PlainBuffer);
    state.StartCount = NextStartCount(state.StartCount);
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

inline bool IsBlack(TDIB& frame, int32_t x, int32_t y) {
    const uint8_t* pixel = frame.Row(y) + 3 * x;
    return pixel[0] == 0 && pixel[1] == 0 && pixel[2] == 0;
}

inline bool AnyLitPixel(TDIB& frame) {
    for (int32_t y = 0; y < frame.Height(); ++y) {
        const uint8_t* row = frame.Row(y);
        for (int32_t i = 0; i < 3 * frame.Width(); ++i) {
            if (row[i] != 0) {
                return true;
            }
        }
    }
    return false;
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
    if (state.Diameter != state.PrevDiameter) {
        ResizeBuffers(state);
        paint = true;
    }
    if (paint) {
        tick = Tick::Frame;
    }
    if (!BuffersFitDiameter(state)) {
        return false;
    }
    if (paint) {
        PaintBackground(*state.BackgroundBuffer);
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
