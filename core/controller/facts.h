#pragma once
// What every front end shows and times the same way: the texts, colours, intervals and
// lengths of the clock and its settings window, written once.
#include <cstdint>
#include <optional>

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

// The colour a settings window draws a text of its own colour in (the status line, the
// save button's green): its own, or under high contrast none, where every text takes
// the system's (the theme's) colour of text.
constexpr std::optional<uint32_t> OwnColour(uint32_t colour, bool highContrast) {
    return highContrast ? std::nullopt : std::optional<uint32_t>(colour);
}

// What the clock cannot do on some desktops, for the settings window's note.
inline constexpr const char* kThroughXWaylandNote =
    "This Wayland compositor offers no layer-shell, so the clock runs through XWayland, where "
    "no program may see beneath its window: the compositor darkens what lies beneath the dial, "
    "but the marks and hands are lit as over black, clicks on the dial reach only X11 windows, "
    "and the clock hides only over full-screen X11 programs.";
inline constexpr const char* kNoCompositeNote =
    "This display cannot keep the pictures of the windows beneath the clock, so the clock "
    "leaves the screen for a moment at each frame.";
inline constexpr const char* kNoCaptureNote =
    "This compositor lets no program capture the screen: it darkens what lies beneath the dial "
    "itself, but the marks and hands are lit as over black.";
inline constexpr const char* kNoFullScreenNote =
    "This compositor does not tell which window is full screen, so the clock stays over "
    "full-screen programs.";

// What the user is told of an error that names no cause of its own.
inline constexpr const char* kUnexpectedError = "An unexpected error occurred";

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
