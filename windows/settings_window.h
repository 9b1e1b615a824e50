#pragma once
// TForm2, the settings window: four track bars that write straight into
// ClockState, "Save Settings" with its status line; it owns the tray icon, the
// user's only way to reach this window and to quit.
#include "app/form.h"
#include "platform/win32_handles.h"
#include "settings/settings_rules.h"
#include "settings/win/autostart.h"
#include "settings/win/settings_store.h"
#include "settings/win/tray_icon.h"

#include <functional>
#include <optional>
#include <string>

namespace lumivane {

class TForm2 : public TForm {
  public:
    // The services the window reaches beyond its own controls. An empty member
    // means the real one; tests replace them to fix the display or watch the tray.
    struct Platform {
        // The primary display's size, where the window is placed.
        std::function<Display()> displaySize;
        // The size of the monitor the clock is on, which caps the clock's size
        // (the primary display's unless given).
        std::function<Display()> clockDisplay;
        // Adds or deletes the tray icon (Shell_NotifyIconA).
        TrayIcon::Notify notifyIcon;
        // The DPI of the monitor a window is on.
        std::function<UINT(HWND)> windowDpi;
        // The Run value behind "Start with Windows": by default this program's.
        Autostart autostart;
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
    static constexpr UINT kTimerInterval = 5000;
    static constexpr int kClientWidth = 410; // at 96 DPI; other DPIs scale every length
    static constexpr int kClientHeight = 224;
    static constexpr COLORREF kHintColour = RGB(0, 0, 0);
    static constexpr COLORREF kConfirmationColour = RGB(0, 150, 0);
    static constexpr const char* kHint = "Position : cursor + arrows + leftbutton";
    static constexpr const char* kConfirmation = "Save settings - Ok!";

    // Creates the window, its controls and its tray icon, and runs FormCreate.
    // `state` must outlive the window; Save writes to `settingsKeyPath` below
    // HKEY_CURRENT_USER; an `owner` (the clock window) keeps it off the taskbar.
    explicit TForm2(ClockState& state, std::string settingsKeyPath = kSettingsKeyPath,
                    HWND owner = nullptr, Platform platform = {});
    ~TForm2() override;

    const Components& Controls() const { return controls_; }
    const TrayIcon& Tray() const { return *tray_; }
    COLORREF StatusColour() const { return statusColour_; }
    // The DPI the window is laid out for.
    UINT Dpi() const { return dpi_; }
    bool TimerEnabled() const { return timerEnabled_; }

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

  protected:
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
    void SetStatus(const char* text, COLORREF colour);
    void MenuItemClick(UINT id);
    void DrawButton(const DRAWITEMSTRUCT& item) const;
    bool SetControlCursor(HWND control, UINT hitTest) const;
    void PaintInnerBorder() const;

    ClockState& state_;
    std::string settingsKeyPath_;
    Platform platform_;

    UINT dpi_;
    GdiObject<HFONT> textFont_; // "Microsoft Sans Serif" bold 13 (at 96 DPI)
    GdiObject<HFONT> saveFont_; // "MS Sans Serif" bold 13

    Components controls_;
    std::optional<TrayIcon> tray_; // made once the window is
    COLORREF statusColour_ = kHintColour;
    bool timerEnabled_ = false;
    HWND focus_ = nullptr; // the control that had the focus when the window was left
};

} // namespace lumivane
