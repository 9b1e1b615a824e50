#include "core/settings/settings_rules.h"

#include <algorithm>

#include "core/error.h"

namespace lumivane {

LoadReport LoadSettings(ClockState& state, Display display, SettingsReader* reader) {
    LoadReport report;
    if (reader != nullptr) {
        ClockState defaults;
        ApplyFirstStartDefaults(defaults, display);
        for (const auto& [name, field] : kStoredValues) {
            try {
                state.*field = reader->ReadValue(name);
            } catch (const Error& error) {
                // An unreadable start counter in a store that exists counts as a later
                // start: its default, 0, would replace the user's settings with the defaults.
                state.*field = field == &ClockState::StartCount ? 1 : defaults.*field;
                if (report.problem.empty()) {
                    report.problem = error.what();
                }
                report.unread.push_back(name);
            }
        }
        try {
            state.HideFullScreen = reader->ReadValue(kHideFullScreen.name) != 0 ? 1 : 0;
        } catch (const Error&) {
            state.HideFullScreen = 1;
        }
    }
    report.firstStart = state.StartCount == 0;
    if (report.firstStart) {
        ApplyFirstStartDefaults(state, display);
    }
    return report;
}

std::vector<StoredValue> ValuesToStore(const LoadReport& report) {
    std::vector<StoredValue> values;
    for (const StoredValue& value : kStoredValues) {
        if (report.firstStart || std::find(report.unread.begin(), report.unread.end(),
                                           value.name) != report.unread.end()) {
            values.push_back(value);
        }
    }
    return values;
}

void SetBar(ClockState& state, Bar bar, int32_t position, int32_t displayHeight) {
    state.*RuleOf(bar).setting = position;
    switch (bar) {
    case Bar::Bright:
        state.BrightFactor = state.Bright / 30.0L;
        RecomputeShading(state);
        break;
    case Bar::Size:
        RecomputeGeometry(state, displayHeight);
        break;
    case Bar::Algoritm:
        break;
    case Bar::Contrast:
        state.ContrastFactor = state.Contrast / 30.0L;
        RecomputeShading(state);
        break;
    }
}

void OpenBars(ClockState& state, int32_t displayHeight,
              const std::function<void(const BarRule&, int32_t)>& show) {
    for (const BarRule& rule : kBars) {
        const int32_t position = std::clamp(state.*rule.setting, rule.minimum, rule.maximum);
        if (position != rule.designPosition) {
            if (show) {
                show(rule, position);
            }
            SetBar(state, rule.bar, position, displayHeight);
        }
    }
}

} // namespace lumivane
