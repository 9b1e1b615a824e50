#pragma once
// The tray icon: its record, its return after the taskbar was re-created, and its
// menu ("Settings", the check items "Start with Windows" and "Hide over full-screen
// programs", and "Close" with its cross glyph). The owning window receives its
// messages and carries out the chosen item.
#include <windows.h>

#include <shellapi.h>

#include <functional>

#include "windows/handles.h"

namespace lumivane::windows {

class TrayIcon {
  public:
    static constexpr UINT kMessage = WM_USER + 1; // 1025
    static constexpr UINT kIconId = 1;
    static constexpr UINT kOptionsId = 101;
    static constexpr UINT kClose1Id = 102;
    static constexpr UINT kStartWithWindowsId = 103;
    static constexpr UINT kHideFullScreenId = 104;

    // Adds or deletes the icon (Shell_NotifyIconA unless a test watches).
    using Notify = std::function<BOOL(DWORD, NOTIFYICONDATAA*)>;

    // Builds the menu and the record for `owner`; the icon is not added yet.
    TrayIcon(HWND owner, HICON icon, Notify notify);
    ~TrayIcon() { Withdraw(); }
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // A refused addition or deletion changes nothing the user could act on.
    void Add();
    void Delete();
    // Deletes the icon if it is shown: on every way the program ends, so that no
    // icon of a program that is gone stays in the notification area.
    void Withdraw();
    // The shell's broadcast after the taskbar was re-created, which drops the icon.
    bool IsTaskbarCreated(UINT message) const {
        return taskbarCreated_ != 0 && message == taskbarCreated_;
    }
    // Shows the menu at `at` and returns the chosen item, 0 for none.
    UINT ShowMenu(POINT at) const;
    void ToggleOptionsCheck() const;
    // The check mark of a check item: "Start with Windows", set before the menu
    // shows, or "Hide over full-screen programs".
    void CheckItem(UINT id, bool checked) const;

    HMENU Menu() const { return menu_.get(); }

  private:
    HWND owner_;
    Notify notify_;
    UINT taskbarCreated_;
    GdiObject<HBITMAP> crossGlyph_; // outlives the menu
    MenuHandle menu_;
    NOTIFYICONDATAA record_{};
    bool shown_ = false;
};

} // namespace lumivane::windows
