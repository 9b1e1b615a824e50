#include "windows/tray.h"

#include <cstdint>
#include <cstring>

#include "core/controller/facts.h"
#include "core/error.h"
#include "windows/form.h"

namespace lumivane::windows {

namespace {

// A black diagonal cross on white, 10 x 10: the "Close" item's glyph. Opaque:
// Windows draws a 32-bit menu bitmap by its alpha, and alpha 0 would hide it.
HBITMAP MakeCrossGlyph() {
    constexpr int kSide = 10;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kSide;
    info.bmiHeader.biHeight = -kSide; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP glyph = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (glyph == nullptr || bits == nullptr) {
        return glyph;
    }
    auto* pixels = static_cast<uint32_t*>(bits);
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            const bool onCross = x == y || x == kSide - 1 - y;
            pixels[y * kSide + x] = onCross ? 0xFF000000u : 0xFFFFFFFFu;
        }
    }
    GdiFlush();
    return glyph;
}

struct MenuItem {
    UINT id;
    const char* text;
    bool crossGlyph;
};
// Top to bottom.
constexpr MenuItem kMenuItems[] = {
    {TrayIcon::kOptionsId, kSettingsItemText, false},
    {TrayIcon::kStartWithWindowsId, "Start with Windows", false},
    {TrayIcon::kHideFullScreenId, kHideFullScreenItemText, false},
    {TrayIcon::kClose1Id, kCloseText, true},
};

} // namespace

TrayIcon::TrayIcon(HWND owner, HICON icon, Notify notify)
    : owner_(owner), notify_(std::move(notify)),
      // Sent by the shell to every top-level window.
      taskbarCreated_(RegisterWindowMessageA("TaskbarCreated")), crossGlyph_(MakeCrossGlyph()),
      menu_(CreatePopupMenu()) {
    if (!menu_) {
        throw Error(FormatText(kCannotBeMade, "Menu"));
    }
    for (const MenuItem& design : kMenuItems) {
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_ID | MIIM_STRING | MIIM_STATE | (design.crossGlyph ? MIIM_BITMAP : 0);
        item.wID = design.id;
        item.fState = MFS_UNCHECKED;
        // Only read: the text is copied into the menu.
        std::wstring text = Widened(design.text);
        item.dwTypeData = text.data();
        item.hbmpItem = design.crossGlyph ? crossGlyph_.get() : nullptr;
        InsertMenuItemW(menu_.get(), GetMenuItemCount(menu_.get()), TRUE, &item);
    }

    record_.cbSize = NOTIFYICONDATAA_V1_SIZE;
    record_.hWnd = owner;
    record_.uID = kIconId;
    record_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record_.uCallbackMessage = kMessage;
    record_.hIcon = icon;
    std::strncpy(record_.szTip, kTitle, sizeof record_.szTip - 1);
}

void TrayIcon::Add() {
    // Refused also when the icon is there already.
    if (notify_(NIM_ADD, &record_)) {
        shown_ = true;
    } else {
        OutputDebugStringA("Lumivane: the shell refused the tray icon\n");
    }
}

void TrayIcon::Delete() {
    shown_ = false;
    if (!notify_(NIM_DELETE, &record_)) {
        OutputDebugStringA("Lumivane: the shell did not delete the tray icon\n");
    }
}

void TrayIcon::Withdraw() {
    if (shown_) {
        Delete();
    }
}

UINT TrayIcon::ShowMenu(POINT at) const {
    const auto chosen = static_cast<UINT>(TrackPopupMenu(
        menu_.get(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD, at.x, at.y, 0, owner_, nullptr));
    // Without this message the menu of a notification icon may not close when
    // the user clicks elsewhere.
    PostMessageA(owner_, WM_NULL, 0, 0);
    return chosen;
}

void TrayIcon::CheckItem(UINT id, bool checked) const {
    CheckMenuItem(menu_.get(), id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void TrayIcon::ToggleOptionsCheck() const {
    const bool checked = (GetMenuState(menu_.get(), kOptionsId, MF_BYCOMMAND) & MF_CHECKED) != 0;
    CheckMenuItem(menu_.get(), kOptionsId, MF_BYCOMMAND | (checked ? MF_UNCHECKED : MF_CHECKED));
}

} // namespace lumivane::windows
