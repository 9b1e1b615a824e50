#pragma once
// The settings window of the Linux program: the four bars of the Windows program with
// the same ranges, "Save Settings" with its status line, and "Close". The clock's life
// (ClockController) holds its model; a bar's change shows with the clock's next frame.
#include <gtk/gtk.h>

#include <array>
#include <string>

#include "core/controller/clock_controller.h"
#include "linux/main_loop.h"

namespace lumivane::gtk {

class SettingsWindow : public SettingsView {
  public:
    // `note`, when not empty, is shown below the bars (what the clock cannot see here).
    SettingsWindow(ClockController& controller, const std::string& note);
    ~SettingsWindow() override;
    SettingsWindow(const SettingsWindow&) = delete;
    SettingsWindow& operator=(const SettingsWindow&) = delete;

    void Show();
    void Hide();
    GtkWindow* Window() const { return GTK_WINDOW(window_.get()); }

    // SettingsView
    void ShowBar(Bar bar, int32_t position) override;
    void ShowStatus(const StatusLine& status) override;
    void ShowSettings() override { Show(); }
    bool StartStatusTimer(uint32_t interval) override;
    void StopStatusTimer() override { hint_.reset(); }

  private:
    static void BarMoved(GtkRange* range, gpointer self);
    // The coloured texts in their colours, or in the theme's under high contrast.
    void Recolour();

    ClockController& controller_;
    Widget window_;
    GtkWidget* status_ = nullptr;
    GtkWidget* save_ = nullptr;
    StatusLine shownStatus_ = kHintLine;
    bool highContrast_ = false;
    std::array<GtkWidget*, kBars.size()> bars_{};
    Source hint_;
};

} // namespace lumivane::gtk
