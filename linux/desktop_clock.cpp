#include "linux/desktop_clock.h"

#include <algorithm>
#include <ctime>

#include "linux/accessibility.h"
#include "linux/config_files.h"

namespace lumivane::gtk {

DesktopClock::DesktopClock(ClockState& state) : state_(state), controller_(state, *this) {}

std::unique_ptr<SettingsStore> DesktopClock::Store() {
    return std::make_unique<SettingsFile>(SettingsFilePath(), files_);
}

TimeOfDay DesktopClock::Now() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    localtime_r(&now.tv_sec, &local);
    return {static_cast<uint16_t>(local.tm_hour), static_cast<uint16_t>(local.tm_min),
            static_cast<uint16_t>(std::min(local.tm_sec, 59)), // no leap second
            static_cast<uint16_t>(now.tv_nsec / 1000000)};
}

void DesktopClock::TimeShownChanged(TimeOfDay shown) {
    ShowClockTime(GTK_WIDGET(Window()), shown);
}

void DesktopClock::StartTimer(ClockTimer timer, uint32_t interval) {
    timers_[static_cast<size_t>(timer)] =
        Every(interval, controller_, [this, timer] { controller_.Fire(timer); });
}

void DesktopClock::StopTimer(ClockTimer timer) {
    timers_[static_cast<size_t>(timer)].reset();
}

bool DesktopClock::ShowProblem(const std::string& text) {
    problemBox_ = OpenMessageBox(text, [this] {
        problemBox_.reset();
        controller_.ProblemAnswered();
    });
    return false;
}

} // namespace lumivane::gtk
