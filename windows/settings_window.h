#pragma once
// TForm2, the settings window: four track bars that set the clock's settings, "Save
// Settings" with its status line; it owns the tray icon, the user's only way to reach
// this window and to quit. The clock's life (ClockController) holds its model: the
// bars' rules, the save and its confirmation.
#include "core/controller/clock_controller.h"
#include "windows/autostart.h"
#include "windows/form.h"
#include "windows/handles.h"
#include "windows/tray.h"

#include <functional>
#include <optional>
#include <string>

namespace lumivane::windows {

class TForm2 : public TForm, public SettingsView {
  public:
    // The services the window reaches beyond its own controls and the clock's life. An
    // empty member means the real one; tests replace them to watch the tray.
    struct Platform {
        // Adds or deletes the tray icon (Shell_NotifyIconA).
        TrayIcon::Notify notifyIcon;
        // The DPI of the monitor a window is on.
        std::function<UINT(HWND)> windowDpi;
        // The Run value behind "Start with Windows": by default this program's.
        Autostart autostart;
        // Whether the user asked for high contrast (SPI_GETHIGHCONTRAST).
        std::function<bool()> highContrast;
    };

    // The window's controls, named as the design names them.
    struct Components {
        HWND PageControl1 = nullptr;
        HWND StaticText1 = nullptr; // the status line
        HWND StaticText2 = nullptr;
        HWND StaticText3 = nullptr;
        HWND StaticText4 = nullptr;
        HWND StaticText5 = nullptr;
        HWND TrackBar1 = nullptr; // Bright
        HWND TrackBar2 = nullptr; // Size
        HWND TrackBar3 = nullptr; // Algoritm
        HWND TrackBar4 = nullptr; // Contrast
        HWND Button1 = nullptr;   // "Save Settings"
        HWND Button2 = nullptr;   // "Close"
    };

    static constexpr UINT_PTR kTimerId = 1;
    // EVENT_OBJECT_LIVEREGIONCHANGED, which the headers name for Windows 8 and later only:
    // the status line's news, for screen readers.
    static constexpr DWORD kLiveRegionChanged = 0x8019;
    static constexpr int kClientWidth = 410; // at 96 DPI; other DPIs scale every length
    static constexpr int kClientHeight = 224;

    // Creates the window, its controls and its tray icon, and runs FormCreate.
    // `controller` must outlive the window; an `owner` (the clock window) keeps it off
    // the taskbar.
    explicit TForm2(ClockController& controller, HWND owner = nullptr, Platform platform = {});
    ~TForm2() override;

    const Components& Controls() const { return controls_; }
    const TrayIcon& Tray() const { return *tray_; }
    COLORREF StatusColour() const { return statusColour_; }
    // The DPI the window is laid out for.
    UINT Dpi() const { return dpi_; }
    bool TimerEnabled() const { return timerEnabled_; }
    // Drawn in the system's colours rather than its own.
    bool HighContrast() const { return highContrast_; }

    // Handlers, in the order of the design.
    // A bar moved: its setting takes the bar's position.
    void TrackBarChange(Bar bar);
    void Button1Click();
    void TimerTimer();
    void Button2Click();
    void FormClose();
    void TrayIconMessage(UINT mouseMessage);
    void OptionsClick();
    void HideFullScreenClick();
    void Close1Click();
    void StartWithWindowsClick();

    // SettingsView
    void ShowBar(Bar bar, int32_t position) override;
    void ShowStatus(const StatusLine& status) override;
    void ShowSettings() override { ShowForm(); }
    bool StartStatusTimer(uint32_t interval) override;
    void StopStatusTimer() override;

  protected:
    void ReportError(const char* message) override { controller_.Report(message); }
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    // The keys of a dialog: Tab and Shift+Tab move between the bars and buttons,
    // Enter presses the focused button, Escape does what the close box does.
    // (The arrow keys and Space reach the focused bar or button themselves.)
    bool PreviewKey(const MSG& message) override;

  private:
    void CreateControls();
    // Places, sizes and letters the controls and the window for the DPI.
    void LayOut();
    int Scaled(int length) const;
    void FormCreate();
    HWND BarControl(Bar bar) const;
    void ShowForm();
    void MenuItemClick(UINT id);
    void DrawButton(const DRAWITEMSTRUCT& item) const;
    bool SetControlCursor(HWND control, UINT hitTest) const;
    void PaintInnerBorder() const;
    // Follows a change of the system's colours or of its high-contrast setting.
    void ColoursChanged();
    // The colour of a static text and of the window behind it.
    COLORREF TextColour(HWND control) const;
    int BackgroundColour() const;

    ClockController& controller_;
    Platform platform_;

    UINT dpi_;
    GdiObject<HFONT> textFont_; // "Microsoft Sans Serif" bold 13 (at 96 DPI)
    GdiObject<HFONT> saveFont_; // "MS Sans Serif" bold 13

    Components controls_;
    std::optional<TrayIcon> tray_; // made once the window is
    COLORREF statusColour_ = kHintLine.colour;
    bool timerEnabled_ = false;
    bool highContrast_ = false;
    HWND focus_ = nullptr; // the control that had the focus when the window was left
};

} // namespace lumivane::windows
