#pragma once
// The settings' own rules, whatever keeps them: the stored values' names, the store's
// interface, the load with its fallbacks and first-start defaults, and the four bars
// of the settings window. Portable: each platform plugs its store in.
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "core/clock/clock_state.h"

namespace lumivane {

// The stored values in the order of the load and of the first-start write.
struct StoredValue {
    const char* name;
    int32_t ClockState::*field;
};
inline constexpr std::array<StoredValue, 7> kStoredValues{{
    {"Bright", &ClockState::Bright},
    {"Size", &ClockState::Size},
    {"Algoritm", &ClockState::Algoritm},
    {"Contrast", &ClockState::Contrast},
    {"Left", &ClockState::SavedLeft},
    {"Top", &ClockState::SavedTop},
    {"Start_1", &ClockState::StartCount},
}};
// The place alone, as the position save writes it, and the start count alone.
inline constexpr std::span<const StoredValue> kPlaceValues{kStoredValues.data() + 4, 2};
inline constexpr std::span<const StoredValue> kStartCountValue{kStoredValues.data() + 6, 1};
static_assert(kPlaceValues[0].field == &ClockState::SavedLeft &&
              kPlaceValues[1].field == &ClockState::SavedTop &&
              kStartCountValue[0].field == &ClockState::StartCount);

// Stored beside them, but only when its tray menu item is toggled: a missing value (an
// older program never writes it) means on, and is no problem.
inline constexpr StoredValue kHideFullScreen{"HideFullScreen", &ClockState::HideFullScreen};

class SettingsReader {
  public:
    virtual ~SettingsReader() = default;
    // Throws Error, with the text the user is shown, when the value cannot be had.
    virtual int32_t ReadValue(const std::string& name) = 0;
};

// Where the settings are kept, as the clock's life uses it: each use opens the store,
// reads or writes values, and closes it. The registry of the current user on Windows, a
// file elsewhere.
class SettingsStore : public SettingsReader {
  public:
    // Opens the store, to read it or, with create, to write it (making it when absent).
    // False when nothing is stored, or it can be neither opened nor created; nothing is
    // reported. One that is there but cannot be read opens unreadable.
    virtual bool OpenStore(bool create) = 0;
    // Opens it to write as OpenStore(true) does, but throws Error, with the reason, when
    // it can be neither opened nor created.
    virtual void CreateStore() = 0;
    // Whether the open store was made anew by the open.
    virtual bool Created() const = 0;
    // Throws Error, with the text the user is shown, when the value cannot be written.
    virtual void WriteValue(const std::string& name, int32_t value) = 0;
    // Ends the use. Throws Error when what was written cannot be kept.
    virtual void CloseStore() = 0;
    // Whether the open store could be read at all. One that is there but cannot be read
    // (no permission, a file far too large) is never written, so nothing is lost.
    virtual bool Readable() const { return true; }
    // How the user hears of `first`, the first value start-up could not read.
    virtual std::string UnreadProblem(const std::string& first) const { return first; }
};

struct LoadReport {
    bool firstStart = false;         // the first-start defaults were applied: store them
    std::string problem;             // the first value that could not be read, in the store's words
    std::vector<std::string> unread; // the values that took their defaults
};

// Loads every stored value from `reader` (null: nothing is stored), each value that
// cannot be read taking its first-start default, so that a damaged store still gives
// a clock that draws; then, on a first start (StartCount 0), the first-start defaults.
// HideFullScreen is off when stored as 0 and on otherwise.
LoadReport LoadSettings(ClockState& state, Display display, SettingsReader* reader);

// The values start-up writes back to the store: every one on a first start, and
// otherwise each that took its default, so that a damaged store heals (a readable
// value is never overwritten) and the next start finds nothing to report.
std::vector<StoredValue> ValuesToStore(const LoadReport& report);

// The settings window's four bars, in two columns of two.
enum class Bar { Bright, Size, Algoritm, Contrast };
struct BarRule {
    Bar bar;
    int32_t ClockState::*setting;
    int32_t minimum;
    int32_t maximum;
    int32_t designPosition; // what the bar holds when the window is made
    const char* label;      // the text above it
    int32_t column;
    int32_t row;
};
inline constexpr std::array<BarRule, 4> kBars{{
    {Bar::Bright, &ClockState::Bright, 0, 30, 0, "Brightness", 0, 0},
    {Bar::Size, &ClockState::Size, 5, 50, 5, "Clock size", 0, 1},
    {Bar::Algoritm, &ClockState::Algoritm, 0, 5, 0, "Arrows", 1, 0},
    {Bar::Contrast, &ClockState::Contrast, 0, 15, 0, "Contrast", 1, 1},
}};

constexpr const BarRule& RuleOf(Bar bar) {
    return kBars[static_cast<size_t>(bar)];
}

// A bar moved to `position`: the setting takes it, then what derives from it.
void SetBar(ClockState& state, Bar bar, int32_t position, int32_t displayHeight);

// The settings window's opening: each bar shows its setting clamped to its range,
// and only a bar whose position so differs from its design position runs its
// change (a bar notifies only when its value changes). `show` moves the control.
void OpenBars(ClockState& state, int32_t displayHeight,
              const std::function<void(const BarRule&, int32_t)>& show = {});

} // namespace lumivane
