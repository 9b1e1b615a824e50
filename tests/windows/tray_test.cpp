// The tray icon and its menu: the record handed to the shell, the icon's
// messages, the menu driven by keys from a second thread (its modal loop holds
// the test's thread), and the window hidden by its close box.
#include "tests/windows/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <atomic>
#include <cstring>
#include <thread>

namespace lumivane::windows {
namespace {

using testing_support::Life;
using testing_support::RecordingPlatform;
using testing_support::StartedState;
using testing_support::TakePosted;
using testing_support::TakeQuit;
using testing_support::TestKey;
using testing_support::TrayLog;

constexpr LPARAM kMouseMove = 512;
constexpr LPARAM kLeftButtonDown = 513;
constexpr LPARAM kLeftButtonUp = 514;
constexpr LPARAM kLeftButtonDoubleClick = 515;
constexpr LPARAM kRightButtonDown = 516;
constexpr LPARAM kRightButtonUp = 517;
constexpr LPARAM kRightButtonDoubleClick = 518;
constexpr LPARAM kMiddleButtonDown = 519;
constexpr LPARAM kMiddleButtonUp = 520;
constexpr LPARAM kMiddleButtonDoubleClick = 521;

BOOL CALLBACK FindVisiblePopupMenu(HWND window, LPARAM result) {
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (std::wcscmp(className, L"#32768") == 0 && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(result) = window;
        return FALSE;
    }
    return TRUE;
}

HWND VisiblePopupMenu() {
    HWND found = nullptr;
    EnumWindows(FindVisiblePopupMenu, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Waits on a thread of its own for the popup menu to appear, notes where it is,
// and presses `keys` in it. Should the keys leave it open, it cancels the menu
// so that a failing test ends instead of hanging.
class MenuDriver {
  public:
    MenuDriver(HWND form, std::vector<WPARAM> keys)
        : form_(form), keys_(std::move(keys)), thread_([this] { Run(); }) {}
    ~MenuDriver() { thread_.join(); }
    MenuDriver(const MenuDriver&) = delete;
    MenuDriver& operator=(const MenuDriver&) = delete;

    bool Seen() const { return seen_; }
    RECT Bounds() const { return bounds_; }

  private:
    void Run() {
        HWND menu = nullptr;
        for (int waited = 0; waited < 5000 && menu == nullptr; waited += 10) {
            Sleep(10);
            menu = VisiblePopupMenu();
        }
        if (menu == nullptr) {
            return;
        }
        GetWindowRect(menu, &bounds_);
        seen_ = true;
        for (WPARAM key : keys_) {
            PostMessageW(menu, WM_KEYDOWN, key, 1);
            PostMessageW(menu, WM_KEYUP, key, 0xC0000001);
        }
        for (int waited = 0; waited < 3000 && IsWindow(menu) && IsWindowVisible(menu);
             waited += 10) {
            Sleep(10);
        }
        while (IsWindow(menu) && IsWindowVisible(menu)) {
            PostMessageW(form_, WM_CANCELMODE, 0, 0);
            PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 1);
            Sleep(100);
        }
    }

    HWND form_;
    std::vector<WPARAM> keys_;
    std::atomic<bool> seen_ = false;
    RECT bounds_{};
    std::thread thread_;
};

class SettingsTrayTest : public ::testing::Test {
  protected:
    void TearDown() override {
        TakeQuit(); // the menu's "Close" asks this thread to end
    }

    std::unique_ptr<TForm2> MakeForm(int32_t startCount) {
        state = StartedState([&](ClockState& s) { s.StartCount = startCount; });
        TForm2::Platform platform = RecordingPlatform(tray);
        platform.autostart = autostart;
        return std::make_unique<TForm2>(LifeOfState(), nullptr, std::move(platform));
    }
    // A clock's life for `state`, kept as long as the test.
    ClockController& LifeOfState() {
        lives.push_back(std::make_unique<Life>(*state, key.Path()));
        return lives.back()->controller;
    }

    // The tray's record of what happened after creation.
    std::vector<DWORD> ActionsSinceCreation() const {
        std::vector<DWORD> actions = tray->Actions();
        actions.erase(actions.begin());
        return actions;
    }

    // Right-clicks the icon and presses `keys` in its menu; the menu's top-left.
    POINT RightClickAndPress(TForm2& form, std::vector<WPARAM> keys) {
        RECT bounds{};
        {
            const MenuDriver driver(form.Handle(), std::move(keys));
            SendMessageW(form.Handle(), TrayIcon::kMessage, TrayIcon::kIconId, kRightButtonUp);
            menuSeen = driver.Seen();
            bounds = driver.Bounds();
        }
        return {bounds.left, bounds.top};
    }

    static bool Checked(const TForm2& form, UINT id) {
        return (GetMenuState(form.Tray().Menu(), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
    }
    bool OptionsChecked(const TForm2& form) const { return Checked(form, TrayIcon::kOptionsId); }

    TestKey key;
    // The tests' own Run key, below theirs.
    const Autostart autostart{L"C:\\Programs\\Lumivane\\Lumivane.exe",
                              std::wstring(key.Relative().begin(), key.Relative().end()) +
                                  L"\\Run"};
    std::shared_ptr<TrayLog> tray = std::make_shared<TrayLog>();
    std::unique_ptr<ClockState> state;
    std::vector<std::unique_ptr<Life>> lives;
    bool menuSeen = false;
};

// --- The icon --------------------------------------------------------------------------

using SettingsTrayIcon = SettingsTrayTest;

TEST_F(SettingsTrayIcon, CreationAddsTheIconWithTheFirstLayoutRecord) {
    auto form = MakeForm(2);
    ASSERT_EQ(tray->calls.size(), 1u);
    EXPECT_EQ(tray->calls[0].action, static_cast<DWORD>(NIM_ADD));
    const NOTIFYICONDATAA& record = tray->calls[0].record;
    EXPECT_EQ(record.cbSize, NOTIFYICONDATAA_V1_SIZE);
    if constexpr (sizeof(void*) == 4) {
        EXPECT_EQ(record.cbSize, 88u);
    }
    EXPECT_EQ(record.hWnd, form->Handle());
    EXPECT_EQ(record.uID, 1u);
    EXPECT_EQ(record.uFlags, 7u);
    EXPECT_EQ(record.uCallbackMessage, 1025u);
    EXPECT_NE(record.hIcon, nullptr);
    EXPECT_STREQ(record.szTip, "Lumivane");
    for (size_t i = std::strlen("Lumivane"); i < 64; ++i) {
        EXPECT_EQ(record.szTip[i], '\0') << "tip byte " << i;
    }
}

// A left click or a double click takes the icon away and shows the window, on a
// later start and on a first start alike; the icon's other messages do neither.
TEST_F(SettingsTrayIcon, ALeftClickTakesTheIconAndShowsTheWindowOtherMessagesNothing) {
    auto form = MakeForm(2);
    for (LPARAM mouse : {kMouseMove, kLeftButtonDown, kRightButtonDown, kRightButtonDoubleClick,
                         kMiddleButtonDown, kMiddleButtonUp, kMiddleButtonDoubleClick}) {
        SendMessageW(form->Handle(), TrayIcon::kMessage, TrayIcon::kIconId, mouse);
    }
    EXPECT_TRUE(ActionsSinceCreation().empty());
    EXPECT_FALSE(IsWindowVisible(form->Handle()));

    for (const auto& [startCount, mouse] :
         {std::pair{2, kLeftButtonUp}, std::pair{2, kLeftButtonDoubleClick},
          std::pair{0, kLeftButtonUp}}) {
        SCOPED_TRACE(testing::Message() << "start " << startCount << ", message " << mouse);
        form.reset();
        tray->calls.clear();
        form = MakeForm(startCount);
        SendMessageW(form->Handle(), TrayIcon::kMessage, TrayIcon::kIconId, mouse);
        EXPECT_EQ(ActionsSinceCreation(), std::vector<DWORD>{NIM_DELETE});
        EXPECT_EQ(tray->calls.back().record.hWnd, form->Handle());
        EXPECT_EQ(tray->calls.back().record.uID, 1u);
        EXPECT_TRUE(IsWindowVisible(form->Handle()));
    }
}

// The close box and the "Close" button hide the window, never destroy it, and put
// the icon back.
TEST_F(SettingsTrayIcon, ClosingTheWindowHidesItAndPutsTheIconBack) {
    for (const bool closeBox : {true, false}) {
        SCOPED_TRACE(closeBox ? "close box" : "Close button");
        tray->calls.clear();
        auto form = MakeForm(2);
        SendMessageW(form->Handle(), TrayIcon::kMessage, TrayIcon::kIconId, kLeftButtonUp);
        ASSERT_TRUE(IsWindowVisible(form->Handle()));
        if (closeBox) {
            SendMessageW(form->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
        } else {
            SendMessageW(form->Controls().Button2, BM_CLICK, 0, 0);
        }
        EXPECT_TRUE(IsWindow(form->Handle()));
        EXPECT_FALSE(IsWindowVisible(form->Handle()));
        EXPECT_EQ(ActionsSinceCreation(), (std::vector<DWORD>{NIM_DELETE, NIM_ADD}));
    }
}

// A re-created taskbar gets the icon back while the window is hidden, and none while
// it is open.
TEST_F(SettingsTrayIcon, ARecreatedTaskbarGetsTheIconBackOnlyWhileTheWindowIsHidden) {
    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    auto form = MakeForm(2);
    SendMessageW(form->Handle(), taskbarCreated, 0, 0);
    EXPECT_EQ(ActionsSinceCreation(), std::vector<DWORD>{NIM_ADD});
    SendMessageW(form->Handle(), TrayIcon::kMessage, TrayIcon::kIconId, kLeftButtonUp);
    SendMessageW(form->Handle(), taskbarCreated, 0, 0);
    EXPECT_EQ(ActionsSinceCreation(), (std::vector<DWORD>{NIM_ADD, NIM_DELETE}));
}

TEST_F(SettingsTrayIcon, TheNotificationAreaTakesTheIconOnceAndGivesItBack) {
    tray->passToShell = true;
    auto form = MakeForm(0);
    SendMessageW(form->Handle(), WM_CLOSE, 0, 0); // the icon is there already
    SendMessageW(form->Handle(), TrayIcon::kMessage, TrayIcon::kIconId, kLeftButtonUp);
    SendMessageW(form->Handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(form->Handle()));
    form.reset(); // the program ends: no icon stays behind
    ASSERT_EQ(tray->Actions(),
              (std::vector<DWORD>{NIM_ADD, NIM_ADD, NIM_DELETE, NIM_ADD, NIM_DELETE}));
    EXPECT_TRUE(tray->calls[0].result);
    EXPECT_FALSE(tray->calls[1].result);
    EXPECT_TRUE(tray->calls[2].result);
    EXPECT_TRUE(tray->calls[3].result);
    EXPECT_TRUE(tray->calls[4].result);
}

TEST_F(SettingsTrayIcon, EveryWayOutTakesTheShownIconAway) {
    // The window destroyed by its owner, the clock window, as the program ends.
    HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    state = StartedState();
    auto owned = std::make_unique<TForm2>(LifeOfState(), owner, RecordingPlatform(tray));
    DestroyWindow(owner);
    owned.reset();
    EXPECT_EQ(ActionsSinceCreation(), std::vector<DWORD>{NIM_DELETE});

    // The session ending, which destroys no window.
    tray->calls.clear();
    auto form = MakeForm(2);
    SendMessageW(form->Handle(), WM_ENDSESSION, FALSE, 0); // the session goes on
    SendMessageW(form->Handle(), WM_ENDSESSION, TRUE, 0);
    form.reset();
    EXPECT_EQ(ActionsSinceCreation(), std::vector<DWORD>{NIM_DELETE});

    // The window open, its icon away already: nothing to take.
    tray->calls.clear();
    form = MakeForm(2);
    SendMessageW(form->Handle(), TrayIcon::kMessage, TrayIcon::kIconId, kLeftButtonUp);
    form.reset();
    EXPECT_EQ(ActionsSinceCreation(), std::vector<DWORD>{NIM_DELETE});
}

// --- The menu ----------------------------------------------------------------------------

using SettingsTrayMenu = SettingsTrayTest;

TEST_F(SettingsTrayMenu, OffersSettingsTheCheckItemsAndCloseWithACrossOnClose) {
    auto form = MakeForm(2);
    HMENU menu = form->Tray().Menu();
    const std::pair<const wchar_t*, UINT> items[] = {
        {L"Settings", TrayIcon::kOptionsId},
        {L"Start with Windows", TrayIcon::kStartWithWindowsId},
        {L"Hide over full-screen programs", TrayIcon::kHideFullScreenId},
        {L"Close", TrayIcon::kClose1Id}};
    ASSERT_EQ(GetMenuItemCount(menu), static_cast<int>(std::size(items)));
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[48] = {};
        GetMenuStringW(menu, static_cast<UINT>(i), text, 48, MF_BYPOSITION);
        EXPECT_STREQ(text, items[i].first);
        EXPECT_EQ(GetMenuItemID(menu, i), items[i].second);
    }
    EXPECT_FALSE(OptionsChecked(*form));
    EXPECT_FALSE(Checked(*form, TrayIcon::kStartWithWindowsId));
    EXPECT_TRUE(Checked(*form, TrayIcon::kHideFullScreenId));

    MENUITEMINFOW item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_BITMAP;
    ASSERT_TRUE(GetMenuItemInfoW(menu, 3, TRUE, &item));
    ASSERT_NE(item.hbmpItem, nullptr);
    BITMAP bitmap{};
    ASSERT_NE(GetObjectW(item.hbmpItem, sizeof bitmap, &bitmap), 0);
    EXPECT_EQ(bitmap.bmWidth, 10);
    EXPECT_EQ(bitmap.bmHeight, 10);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = 10;
    info.bmiHeader.biHeight = -10;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    uint32_t pixels[100] = {};
    HDC dc = GetDC(nullptr);
    ASSERT_EQ(GetDIBits(dc, item.hbmpItem, 0, 10, pixels, &info, DIB_RGB_COLORS), 10);
    ReleaseDC(nullptr, dc);
    auto at = [&](int x, int y) { return pixels[y * 10 + x] & 0xFFFFFFu; };
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(at(i, i), 0u) << "falling diagonal at " << i;
        EXPECT_EQ(at(9 - i, i), 0u) << "rising diagonal at " << i;
    }
    EXPECT_EQ(at(5, 0), 0xFFFFFFu);
    EXPECT_EQ(at(0, 5), 0xFFFFFFu);
    EXPECT_EQ(at(9, 4), 0xFFFFFFu);
    // Windows draws a 32-bit menu bitmap by its alpha: every pixel is opaque.
    EXPECT_TRUE(std::all_of(std::begin(pixels), std::end(pixels),
                            [](uint32_t pixel) { return pixel >> 24 == 0xFFu; }));
}

TEST_F(SettingsTrayMenu, RightButtonUpShowsTheMenuAtTheCursorAndLeavesTheWindowHidden) {
    auto form = MakeForm(2);
    ASSERT_TRUE(SetCursorPos(300, 200));
    const POINT menuAt = RightClickAndPress(*form, {VK_ESCAPE});
    EXPECT_TRUE(menuSeen);
    EXPECT_EQ(menuAt.x, 300);
    EXPECT_EQ(menuAt.y, 200);
    EXPECT_TRUE(ActionsSinceCreation().empty());
    EXPECT_FALSE(IsWindowVisible(form->Handle()));
    EXPECT_FALSE(OptionsChecked(*form));
    EXPECT_EQ(TakePosted(form->Handle(), WM_NULL), 1); // posted once the menu closed
}

TEST_F(SettingsTrayMenu, RightButtonUpLeavesAShownWindowShown) {
    auto form = MakeForm(0);
    RightClickAndPress(*form, {VK_ESCAPE});
    EXPECT_TRUE(menuSeen);
    EXPECT_TRUE(ActionsSinceCreation().empty());
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
}

TEST_F(SettingsTrayMenu, SettingsTogglesItsCheckAndOpensTheWindow) {
    auto form = MakeForm(2);
    RightClickAndPress(*form, {VK_DOWN, VK_RETURN});
    ASSERT_TRUE(menuSeen);
    EXPECT_TRUE(OptionsChecked(*form));
    EXPECT_EQ(ActionsSinceCreation(), std::vector<DWORD>{NIM_DELETE});
    EXPECT_TRUE(IsWindowVisible(form->Handle()));

    SendMessageW(form->Handle(), WM_CLOSE, 0, 0);
    RightClickAndPress(*form, {VK_DOWN, VK_RETURN});
    EXPECT_FALSE(OptionsChecked(*form)); // chosen twice: off again
    EXPECT_EQ(ActionsSinceCreation(), (std::vector<DWORD>{NIM_DELETE, NIM_ADD, NIM_DELETE}));
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
    EXPECT_FALSE(TakeQuit());
}

// Checked when the menu opens exactly while the Run value names this program; the
// item writes or deletes it and leaves the window and the icon as they were.
TEST_F(SettingsTrayMenu, StartWithWindowsShowsAndTogglesTheRunValue) {
    auto form = MakeForm(2);
    RightClickAndPress(*form, {VK_DOWN, VK_DOWN, VK_RETURN});
    ASSERT_TRUE(menuSeen);
    EXPECT_TRUE(autostart.Enabled());
    RightClickAndPress(*form, {VK_ESCAPE});
    EXPECT_TRUE(Checked(*form, TrayIcon::kStartWithWindowsId));

    RightClickAndPress(*form, {VK_DOWN, VK_DOWN, VK_RETURN});
    EXPECT_FALSE(autostart.Enabled());
    RightClickAndPress(*form, {VK_ESCAPE});
    EXPECT_FALSE(Checked(*form, TrayIcon::kStartWithWindowsId));
    EXPECT_TRUE(ActionsSinceCreation().empty());
    EXPECT_FALSE(IsWindowVisible(form->Handle()));
    EXPECT_FALSE(TakeQuit());
}

TEST_F(SettingsTrayMenu, CloseRemovesTheIconShowsTheWindowAndEndsTheProgram) {
    auto form = MakeForm(2);
    RightClickAndPress(*form, {VK_UP, VK_RETURN}); // the last item
    ASSERT_TRUE(menuSeen);
    EXPECT_EQ(ActionsSinceCreation(), std::vector<DWORD>{NIM_DELETE});
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
    EXPECT_FALSE(OptionsChecked(*form));
    EXPECT_TRUE(TakeQuit());
}

// The check item turns the hiding over full-screen programs off and on for the
// running clock and stores the choice at once; it leaves the window and the icon alone.
TEST_F(SettingsTrayMenu, HideOverFullScreenProgramsTogglesAndIsStored) {
    auto form = MakeForm(2);
    ASSERT_EQ(key.Read("HideFullScreen"), std::nullopt);
    RightClickAndPress(*form, {VK_UP, VK_UP, VK_RETURN}); // the last but one
    ASSERT_TRUE(menuSeen);
    EXPECT_EQ(state->HideFullScreen, 0);
    EXPECT_FALSE(Checked(*form, TrayIcon::kHideFullScreenId));
    EXPECT_EQ(key.Read("HideFullScreen"), 0);
    SendMessageW(form->Handle(), WM_COMMAND, MAKEWPARAM(TrayIcon::kHideFullScreenId, 0), 0);
    EXPECT_EQ(state->HideFullScreen, 1);
    EXPECT_TRUE(Checked(*form, TrayIcon::kHideFullScreenId));
    EXPECT_EQ(key.Read("HideFullScreen"), 1);
    EXPECT_TRUE(ActionsSinceCreation().empty());
    EXPECT_FALSE(IsWindowVisible(form->Handle()));
    EXPECT_FALSE(OptionsChecked(*form));

    // A clock started with it off shows the item unchecked.
    state->HideFullScreen = 0;
    TForm2::Platform platform = RecordingPlatform(tray);
    platform.autostart = autostart;
    TForm2 off(LifeOfState(), nullptr, std::move(platform));
    EXPECT_FALSE(Checked(off, TrayIcon::kHideFullScreenId));
}

} // namespace
} // namespace lumivane::windows
