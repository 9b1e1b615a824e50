#pragma once
// The settings window of the Linux program: the four bars of the Windows program with
// the same ranges, "Save Settings" with its status line, and "Close". A bar writes
// straight into ClockState; the clock shows the change with its next frame.
#include <gtk/gtk.h>

#include <array>
#include <functional>
#include <string>

#include "linux/x_handles.h"

namespace lumivane {

struct ClockState;
class Problems;

class SettingsWindow {
  public:
    struct Hooks {
        // The settings save: "Bright", "Size", "Algoritm", "Contrast", "Left", "Top".
        // Throws Error.
        std::function<void()> save;
        // The height of the monitor the clock is on, which caps its size.
        std::function<int32_t()> displayHeight;
    };

    static constexpr const char* kHint = "Position : cursor + arrows + leftbutton";
    static constexpr const char* kConfirmation = "Save settings - Ok!";
    static constexpr uint32_t kConfirmationTime = 5000; // ms

    // `note`, when not empty, is shown below the bars (what the clock cannot see here).
    SettingsWindow(ClockState& state, Problems& problems, Hooks hooks, const std::string& note);
    ~SettingsWindow();
    SettingsWindow(const SettingsWindow&) = delete;
    SettingsWindow& operator=(const SettingsWindow&) = delete;

    void Show();
    void Hide();
    void Save();
    GtkWindow* Window() const { return GTK_WINDOW(window_); }

  private:
    static void BarMoved(GtkRange* range, gpointer self);
    void SetStatus(bool confirmation);

    ClockState& state_;
    Problems& problems_;
    Hooks hooks_;
    GtkWidget* window_ = nullptr;
    GtkWidget* status_ = nullptr;
    std::array<GtkWidget*, 4> bars_{};
    x11::Source hint_;
    bool confirming_ = false;
};

} // namespace lumivane
