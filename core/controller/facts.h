#pragma once
// What every front end shows and times the same way: the texts, colours, intervals and
// lengths of the clock and its settings window, written once.
#include <cstdint>

#include "core/image/tdib.h"

namespace lumivane {

inline constexpr const char* kTitle = "Lumivane"; // the clock window and every message box
inline constexpr const char* kSettingsTitle = "Lumivane Settings";
inline constexpr const char* kSaveButtonText = "Save Settings";
inline constexpr const char* kCloseText = "Close"; // the settings window's button, the menu's item
// The tray menu's items every platform has (each names its own "start with the system").
inline constexpr const char* kSettingsItemText = "Settings";
inline constexpr const char* kHideFullScreenItemText = "Hide over full-screen programs";

// The settings window's status line: the hint, and for a while after a save its
// confirmation.
struct StatusLine {
    const char* text;
    uint32_t colour; // 0x00BBGGRR
};
inline constexpr StatusLine kHintLine{"Position : cursor + arrows + leftbutton", RGB(0, 0, 0)};
inline constexpr StatusLine kConfirmationLine{"Save settings - Ok!", RGB(0, 150, 0)};
inline constexpr uint32_t kSaveTextColour = RGB(0, 128, 0);
inline constexpr uint32_t kConfirmationTime = 5000; // ms

// The settings window sits this far above the bottom of the primary monitor (at 96 DPI),
// clear of a taskbar.
inline constexpr int32_t kTaskbarInset = 100;

inline constexpr uint32_t kPositionSaveInterval = 5000; // ms after a move
inline constexpr uint32_t kPlacementInterval = 30;      // ms: edge keeping, the quick redraw
// How often, in ms, the clock looks for a full-screen program where nothing says when the
// window in front changes.
inline constexpr uint32_t kFullScreenCheckInterval = 250;
// The longest the windows beneath get to repaint what the clock uncovers where it must
// leave the screen to read them, ms.
inline constexpr uint32_t kUncoveredRepaintWait = 10;

} // namespace lumivane
