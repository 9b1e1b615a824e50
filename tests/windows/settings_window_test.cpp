// The settings window as a real window: its creation rule, its place, its
// controls, the track bars driven by their own messages, and "Save Settings"
// against the real registry (a test key of its own).
#include "tests/windows/test_support.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <utility>
#include <vector>

namespace lumivane::windows {
namespace {

using testing_support::AccessibleView;
using testing_support::CentreShading;
using testing_support::Life;
using testing_support::RecordingPlatform;
using testing_support::RequireTestDisplay;
using testing_support::StartedState;
using testing_support::TestKey;
using testing_support::TrayLog;
using testing_support::WindowText;
using testing_support::WinEvents;

int BarPosition(HWND bar) {
    return static_cast<int>(SendMessageW(bar, TBM_GETPOS, 0, 0));
}

// Moves a bar as the user would: the bar takes the position, then tells its parent.
void MoveBar(const TForm2& form, HWND bar, int position, WORD code = TB_ENDTRACK) {
    SendMessageW(bar, TBM_SETPOS, TRUE, position);
    SendMessageW(form.Handle(), WM_HSCROLL, MAKEWPARAM(code, 0), reinterpret_cast<LPARAM>(bar));
}

RECT ClientRectOf(HWND control, HWND parent) {
    RECT bounds{};
    GetWindowRect(control, &bounds);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&bounds), 2);
    return bounds;
}

COLORREF StaticTextColour(const TForm2& form, HWND control) {
    const MemoryDC dc(CreateCompatibleDC(nullptr));
    SendMessageW(form.Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.get()),
                 reinterpret_cast<LPARAM>(control));
    return GetTextColor(dc.get());
}

LOGFONTW FontOf(HWND control) {
    LOGFONTW font{};
    auto handle = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    GetObjectW(handle, sizeof font, &font);
    return font;
}

// How many pixels of a control show `colour`, as it is on the screen.
int PixelsOf(HWND control, COLORREF colour) {
    const ClientDC dc(control);
    RECT bounds{};
    GetClientRect(control, &bounds);
    int hits = 0;
    for (int y = 0; y < bounds.bottom; ++y) {
        for (int x = 0; x < bounds.right; ++x) {
            hits += GetPixel(dc.get(), x, y) == colour ? 1 : 0;
        }
    }
    return hits;
}

BOOL CALLBACK CountWindow(HWND, LPARAM counted) {
    ++*reinterpret_cast<int*>(counted);
    return TRUE;
}

// Shading 1 - sqrt(1.0001 - d / Radius) x ContrastFactor x BrightFactor at the
// centre of an even dial (d = 0), for a few factor products, worked out by hand.
constexpr long double kCentreShadingBright15Contrast6 = 0.899995000125L; // product 0.1

class SettingsWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { RequireTestDisplay(); }

    std::unique_ptr<TForm2> MakeForm(ClockState& state) {
        return std::make_unique<TForm2>(LifeOf(state), nullptr, RecordingPlatform(tray));
    }
    // The clock's life of `state`, kept as long as the test: its store the test key (or
    // `keyPath`), its monitors the test display's (or `monitors`).
    ClockController& LifeOf(ClockState& state, const std::string& keyPath = {},
                            std::vector<Rect> monitors = {}) {
        lives.push_back(
            std::make_unique<Life>(state, keyPath.empty() ? key.Path() : keyPath, monitors));
        return lives.back()->controller;
    }

    TestKey key;
    std::vector<std::unique_ptr<Life>> lives;
    std::shared_ptr<TrayLog> tray = std::make_shared<TrayLog>();
};

// --- Creation: the bars take the settings --------------------------------------

using SettingsWindowCreation = SettingsWindowTest;

// The bars show the settings clamped to their ranges; what a clamped value does to the
// clock is the core's rule (tests/core/settings/settings_rules_test.cpp).
TEST_F(SettingsWindowCreation, TheBarsShowTheSettingsClampedToTheirRanges) {
    auto state = StartedState([](ClockState& s) {
        s.Bright = 40;
        s.Size = 2;
        s.Algoritm = 9;
        s.Contrast = -1;
    });
    auto form = MakeForm(*state);
    const TForm2::Components& c = form->Controls();
    EXPECT_EQ(BarPosition(c.TrackBar1), 30);
    EXPECT_EQ(BarPosition(c.TrackBar2), 5);
    EXPECT_EQ(BarPosition(c.TrackBar3), 5);
    EXPECT_EQ(BarPosition(c.TrackBar4), 0);
    EXPECT_EQ(state->Bright, 30);
    EXPECT_EQ(state->Size, 2) << "below the range the setting stays";
}

// --- Creation: the window's place and visibility --------------------------------

using SettingsWindowPlacement = SettingsWindowTest;

// Shown on the first two starts, hidden on later ones; the icon is there either way.
TEST_F(SettingsWindowPlacement, TheFirstTwoStartsShowTheWindow) {
    for (const int32_t startCount : {0, 1, 2}) {
        tray->calls.clear();
        auto state = StartedState([&](ClockState& s) { s.StartCount = startCount; });
        auto form = MakeForm(*state);
        EXPECT_EQ(IsWindowVisible(form->Handle()) != FALSE, startCount < 2) << startCount;
        EXPECT_EQ(tray->Actions(), std::vector<DWORD>{NIM_ADD}) << startCount;
    }
}

TEST_F(SettingsWindowPlacement, PlaceFollowsTheDisplayItIsGiven) {
    auto state = StartedState();
    TForm2 form(LifeOf(*state, {}, {{0, 0, 1001, 600}}), nullptr, RecordingPlatform(tray));
    RECT window{};
    GetWindowRect(form.Handle(), &window);
    EXPECT_EQ(window.left, 295); // 1001 div 2 - 410 div 2
    EXPECT_EQ(window.top, 276);  // 600 - 224 - 100
}

TEST_F(SettingsWindowPlacement, IsACaptionedFixedTopmostWindow) {
    auto state = StartedState();
    auto form = MakeForm(*state);
    wchar_t className[32] = {};
    GetClassNameW(form->Handle(), className, 32);
    EXPECT_STREQ(className, L"TForm2");
    EXPECT_EQ(WindowText(form->Handle()), "Lumivane Settings");
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(form->Handle(), GWL_STYLE));
    EXPECT_EQ(style & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));
    EXPECT_NE(style & WS_SYSMENU, 0u);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(form->Handle(), GWL_EXSTYLE));
    EXPECT_NE(exStyle & WS_EX_TOPMOST, 0u);
}

TEST_F(SettingsWindowPlacement, AnOwnerKeepsTheWindowOffTheTaskbar) {
    auto state = StartedState();
    HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    {
        TForm2 form(LifeOf(*state), owner, RecordingPlatform(tray));
        EXPECT_EQ(GetWindow(form.Handle(), GW_OWNER), owner);
    }
    DestroyWindow(owner);
}

// --- Controls ----------------------------------------------------------------------

using SettingsWindowControls = SettingsWindowTest;

// Every control stands inside the window with its text, wide enough for that text in the
// font it is lettered with, and none overlaps another; the framed background fills the
// window behind them all.
TEST_F(SettingsWindowControls, HoldTheirTextsWithoutOverlapping) {
    auto state = StartedState();
    auto form = MakeForm(*state);
    const TForm2::Components& c = form->Controls();
    const std::pair<HWND, const char*> controls[] = {
        {c.StaticText1, "Position : cursor + arrows + leftbutton"},
        {c.StaticText2, "Brightness"},
        {c.StaticText3, "Clock size"},
        {c.StaticText4, "Arrows"},
        {c.StaticText5, "Contrast"},
        {c.TrackBar1, ""},
        {c.TrackBar2, ""},
        {c.TrackBar3, ""},
        {c.TrackBar4, ""},
        {c.Button1, "Save Settings"},
        {c.Button2, "Close"},
    };
    RECT client{};
    GetClientRect(form->Handle(), &client);
    const RECT background = ClientRectOf(c.PageControl1, form->Handle());
    EXPECT_TRUE(EqualRect(&background, &client));
    EXPECT_EQ(GetWindow(c.PageControl1, GW_HWNDNEXT), nullptr) << "behind everything";
    for (const auto& [control, text] : controls) {
        SCOPED_TRACE(text);
        ASSERT_EQ(GetParent(control), form->Handle());
        EXPECT_EQ(WindowText(control), text);
        const RECT bounds = ClientRectOf(control, form->Handle());
        RECT inside{};
        IntersectRect(&inside, &bounds, &client);
        EXPECT_TRUE(EqualRect(&inside, &bounds)) << "inside the window";
        if (*text != '\0') {
            const ClientDC dc(control);
            const HGDIOBJ font = SelectObject(
                dc.get(), reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
            SIZE extent{};
            GetTextExtentPoint32A(dc.get(), text, static_cast<int>(std::strlen(text)), &extent);
            SelectObject(dc.get(), font);
            EXPECT_LE(extent.cx, bounds.right - bounds.left) << "the text fits";
            EXPECT_LE(extent.cy, bounds.bottom - bounds.top) << "the text fits";
        }
        for (const auto& [other, otherText] : controls) {
            const RECT theirs = ClientRectOf(other, form->Handle());
            RECT both{};
            EXPECT_TRUE(other == control || !IntersectRect(&both, &bounds, &theirs)) << otherText;
        }
    }
}

// Laid out for a monitor of 144 DPI, every control sits at 1.5 times its place and
// size at 96 DPI (within the rounding of a half pixel), lettered 1.5 times as tall;
// moved to a monitor of another DPI, the window is laid out for that one.
TEST_F(SettingsWindowControls, AtOneHundredFortyFourDpiEverythingIsHalfAsLargeAgain) {
    auto state = StartedState();
    const auto at = [&](UINT dpi) {
        TForm2::Platform platform = RecordingPlatform(tray);
        platform.windowDpi = [dpi](HWND) { return dpi; };
        return std::make_unique<TForm2>(LifeOf(*state), nullptr, platform);
    };
    const auto layout = [](const TForm2& form) {
        const TForm2::Components& c = form.Controls();
        std::vector<RECT> bounds;
        for (HWND control : {c.PageControl1, c.StaticText1, c.StaticText2, c.StaticText3,
                             c.StaticText4, c.StaticText5, c.TrackBar1, c.TrackBar2, c.TrackBar3,
                             c.TrackBar4, c.Button1, c.Button2}) {
            bounds.push_back(ClientRectOf(control, form.Handle()));
        }
        RECT client{};
        GetClientRect(form.Handle(), &client);
        bounds.push_back(client);
        return bounds;
    };
    const auto small = at(96);
    const auto large = at(144);
    EXPECT_EQ(small->Dpi(), 96u);
    EXPECT_EQ(large->Dpi(), 144u);
    const std::vector<RECT> normal = layout(*small);
    const std::vector<RECT> scaled = layout(*large);
    EXPECT_EQ(scaled.back().right, 615);
    EXPECT_EQ(scaled.back().bottom, 336);
    for (size_t i = 0; i < normal.size(); ++i) {
        SCOPED_TRACE(i);
        const RECT& n = normal[i];
        const RECT& l = scaled[i];
        EXPECT_NEAR(l.left, 1.5 * n.left, 0.5);
        EXPECT_NEAR(l.top, 1.5 * n.top, 0.5);
        EXPECT_NEAR(l.bottom - l.top, 1.5 * (n.bottom - n.top), 0.5);
        // The static texts (1 to 5) grow to their lines, whose glyphs do not scale evenly.
        if (i >= 1 && i <= 5) {
            EXPECT_GE(l.right - l.left, 1.5 * (n.right - n.left) - 1.0);
        } else {
            EXPECT_NEAR(l.right - l.left, 1.5 * (n.right - n.left), 1.0);
        }
    }
    EXPECT_EQ(FontOf(large->Controls().StaticText2).lfHeight, -20); // -19.5, away from zero
    EXPECT_EQ(FontOf(large->Controls().Button1).lfHeight, -20);

    RECT suggested{100, 120, 800, 600};
    SendMessageW(large->Handle(), WM_DPICHANGED, MAKEWPARAM(96, 96),
                 reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(large->Dpi(), 96u);
    const std::vector<RECT> again = layout(*large);
    for (size_t i = 0; i < normal.size(); ++i) {
        EXPECT_TRUE(EqualRect(&again[i], &normal[i])) << i;
    }
    EXPECT_EQ(FontOf(large->Controls().StaticText2).lfHeight, -13);
    RECT window{};
    GetWindowRect(large->Handle(), &window);
    EXPECT_EQ(window.left, 100);
    EXPECT_EQ(window.top, 120);
}

TEST_F(SettingsWindowControls, BarsHaveTheirRangesAndATickAtEveryPosition) {
    auto state = StartedState([](ClockState& s) {
        s.Bright = 0; // all four bars at their design positions
        s.Size = 5;
        s.Algoritm = 0;
        s.Contrast = 0;
    });
    auto form = MakeForm(*state);
    const TForm2::Components& c = form->Controls();
    struct Expected {
        HWND bar;
        int minimum, maximum, position;
    };
    const Expected bars[] = {{c.TrackBar1, 0, 30, 0},
                             {c.TrackBar2, 5, 50, 5},
                             {c.TrackBar3, 0, 5, 0},
                             {c.TrackBar4, 0, 15, 0}};
    for (const Expected& expected : bars) {
        SCOPED_TRACE(expected.maximum);
        EXPECT_EQ(SendMessageW(expected.bar, TBM_GETRANGEMIN, 0, 0), expected.minimum);
        EXPECT_EQ(SendMessageW(expected.bar, TBM_GETRANGEMAX, 0, 0), expected.maximum);
        EXPECT_EQ(BarPosition(expected.bar), expected.position);
        EXPECT_EQ(SendMessageW(expected.bar, TBM_GETNUMTICS, 0, 0),
                  expected.maximum - expected.minimum + 1);
        const auto style = static_cast<DWORD>(GetWindowLongPtrW(expected.bar, GWL_STYLE));
        EXPECT_NE(style & TBS_AUTOTICKS, 0u);
        // Ticks below a horizontal bar: the bits for the other sides and for none are clear.
        EXPECT_EQ(style & (TBS_VERT | TBS_TOP | TBS_BOTH | TBS_NOTICKS), 0u);
    }
}

TEST_F(SettingsWindowControls, TextsAreBoldThirteenPixelFonts) {
    auto state = StartedState();
    auto form = MakeForm(*state);
    const TForm2::Components& c = form->Controls();
    for (HWND control :
         {c.StaticText1, c.StaticText2, c.StaticText3, c.StaticText4, c.StaticText5, c.Button2}) {
        const LOGFONTW font = FontOf(control);
        EXPECT_EQ(font.lfHeight, -13);
        EXPECT_EQ(font.lfWeight, FW_BOLD);
        EXPECT_STREQ(font.lfFaceName, L"Microsoft Sans Serif");
    }
    const LOGFONTW save = FontOf(c.Button1);
    EXPECT_EQ(save.lfHeight, -13);
    EXPECT_EQ(save.lfWeight, FW_BOLD);
    EXPECT_STREQ(save.lfFaceName, L"MS Sans Serif");
}

TEST_F(SettingsWindowControls, HandPointOverTheControlsButTheContrastBarAndTexts) {
    auto state = StartedState();
    auto form = MakeForm(*state);
    const TForm2::Components& c = form->Controls();
    HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
    HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    auto cursorOver = [&](HWND control) {
        SetCursor(nullptr);
        SendMessageW(form->Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(control),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        return GetCursor();
    };
    for (HWND control :
         {c.PageControl1, c.TrackBar1, c.TrackBar2, c.TrackBar3, c.Button1, c.Button2}) {
        EXPECT_EQ(cursorOver(control), hand);
    }
    for (HWND control : {c.TrackBar4, c.StaticText1, c.StaticText2}) {
        EXPECT_EQ(cursorOver(control), arrow);
    }
}

TEST_F(SettingsWindowControls, SaveButtonIsGreenAndCloseButtonIsThreeDLight) {
    auto state = StartedState([](ClockState& s) { s.StartCount = 0; });
    auto form = MakeForm(*state);
    UpdateWindow(form->Handle());
    const COLORREF green = RGB(0, 128, 0);
    EXPECT_GT(PixelsOf(form->Controls().Button1, green), 20);
    EXPECT_EQ(PixelsOf(form->Controls().Button2, green), 0);
    // Most of the "Close" button is its face.
    EXPECT_GT(PixelsOf(form->Controls().Button2, GetSysColor(COLOR_3DLIGHT)), 60 * 22 / 2);
}

// --- Screen readers and high contrast -----------------------------------------------

using SettingsAccessibility = SettingsWindowTest;

// Windows names a bar for screen readers from the static text just before it in the tab
// order and reads its position as its value; a button by its text. Wine's proxies give
// every control the role "client" and a name from its own text alone, so there the bars'
// names and values cannot be read through oleacc: the order that names them is checked.
TEST_F(SettingsAccessibility, EachBarFollowsItsLabelAndTheButtonsAreNamedByTheirText) {
    const ComApartment apartment = EnterApartment();
    auto state = StartedState();
    auto form = MakeForm(*state);
    const TForm2::Components& c = form->Controls();
    struct Expected {
        HWND bar, label;
        const wchar_t *name, *value;
    };
    const Expected bars[] = {{c.TrackBar1, c.StaticText2, L"Brightness", L"30"},
                             {c.TrackBar2, c.StaticText3, L"Clock size", L"19"},
                             {c.TrackBar3, c.StaticText4, L"Arrows", L"0"},
                             {c.TrackBar4, c.StaticText5, L"Contrast", L"6"}};
    for (const Expected& expected : bars) {
        SCOPED_TRACE(WindowText(expected.label));
        EXPECT_EQ(GetWindow(expected.bar, GW_HWNDPREV), expected.label);
        EXPECT_EQ(AccessibleView(expected.label).Name(), expected.name);
        const AccessibleView bar(expected.bar);
        ASSERT_TRUE(bar.object);
        if (bar.Role() == ROLE_SYSTEM_SLIDER) { // Windows' own proxy
            EXPECT_EQ(bar.Name(), expected.name);
            EXPECT_EQ(bar.Value(), expected.value);
        }
    }
    EXPECT_EQ(AccessibleView(c.Button1).Name(), L"Save Settings");
    EXPECT_EQ(AccessibleView(c.Button2).Name(), L"Close");
    EXPECT_EQ(AccessibleView(c.StaticText1).Name(), L"Position : cursor + arrows + leftbutton");
}

// The confirmation of a save is announced as the status line's news (a live region's
// change), in the window itself; the hint coming back is no news.
TEST_F(SettingsAccessibility, TheConfirmationIsAnnouncedAndTheHintIsNot) {
    const ComApartment apartment = EnterApartment();
    auto state = StartedState([](ClockState& s) { s.StartCount = 0; }); // shown
    auto form = MakeForm(*state);
    WinEvents news(TForm2::kLiveRegionChanged);
    ASSERT_TRUE(news.Hooked());
    news.Clear();
    const auto windows = [] {
        int count = 0;
        EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&count));
        return count;
    };
    const int before = windows();
    SendMessageW(form->Controls().Button1, BM_CLICK, 0, 0);
    const WinEvents::Event confirmed{form->Controls().StaticText1, OBJID_CLIENT, CHILDID_SELF};
    EXPECT_EQ(news.Seen(), std::vector<WinEvents::Event>{confirmed});
    EXPECT_EQ(AccessibleView(form->Controls().StaticText1).Name(), L"Save settings - Ok!");
    EXPECT_EQ(windows(), before) << "no window of its own";
    form->TimerTimer();
    EXPECT_EQ(news.Seen().size(), 1u);
}

// Some of the system's colours for a while (SetSysColors); the old ones back after.
class SystemColours {
  public:
    SystemColours(std::initializer_list<std::pair<int, COLORREF>> colours) {
        for (const auto& [element, colour] : colours) {
            elements_.push_back(element);
            old_.push_back(GetSysColor(element));
            new_.push_back(colour);
        }
        set_ = SetSysColors(static_cast<int>(elements_.size()), elements_.data(), new_.data());
    }
    ~SystemColours() {
        SetSysColors(static_cast<int>(elements_.size()), elements_.data(), old_.data());
    }
    SystemColours(const SystemColours&) = delete;
    SystemColours& operator=(const SystemColours&) = delete;
    bool Set() const { return set_ != FALSE; }

  private:
    std::vector<int> elements_;
    std::vector<COLORREF> old_, new_;
    BOOL set_ = FALSE;
};

// With high contrast on (followed as the system announces it), the window, its buttons
// and its coloured texts take the user's colours: no green, the buttons' faces and texts,
// a dialog's text on its face; off again, every pixel is as it was. (Wine refuses
// SPI_SETHIGHCONTRAST, so the setting is the test's.)
TEST_F(SettingsAccessibility, HighContrastDrawsInTheSystemsColoursAndOffLeavesEveryPixel) {
    const COLORREF face = RGB(0, 0, 0), buttonText = RGB(255, 255, 0), text = RGB(0, 255, 255);
    const COLORREF own = RGB(200, 100, 50), light = RGB(220, 220, 220), green = RGB(0, 128, 0);
    const SystemColours scheme({{COLOR_BTNFACE, face},
                                {COLOR_BTNTEXT, buttonText},
                                {COLOR_WINDOWTEXT, text},
                                {COLOR_ACTIVEBORDER, own},
                                {COLOR_3DLIGHT, light}});
    ASSERT_TRUE(scheme.Set());
    bool high = false;
    TForm2::Platform platform = RecordingPlatform(tray);
    platform.highContrast = [&high] { return high; };
    auto state = StartedState([](ClockState& s) { s.StartCount = 0; }); // shown
    TForm2 form(LifeOf(*state), nullptr, platform);
    const TForm2::Components& c = form.Controls();
    const auto follow = [&form](UINT message, WPARAM wParam) {
        SendMessageW(form.Handle(), message, wParam, 0);
        RedrawWindow(form.Handle(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    };
    const auto snapshot = [&form] {
        RECT client{};
        GetClientRect(form.Handle(), &client);
        std::vector<COLORREF> pixels;
        const ClientDC dc(form.Handle());
        for (int y = 0; y < client.bottom; y += 2) {
            for (int x = 0; x < client.right; x += 2) {
                pixels.push_back(GetPixel(dc.get(), x, y));
            }
        }
        return pixels;
    };
    const auto staticColours = [&form](HWND control) {
        const MemoryDC dc(CreateCompatibleDC(nullptr));
        const auto brush = reinterpret_cast<HBRUSH>(
            SendMessageW(form.Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.get()),
                         reinterpret_cast<LPARAM>(control)));
        LOGBRUSH fill{};
        GetObjectW(brush, sizeof fill, &fill);
        return std::pair(GetTextColor(dc.get()), fill.lbColor);
    };
    follow(WM_SYSCOLORCHANGE, 0);
    form.Button1Click(); // the status line in its green
    follow(WM_NULL, 0);
    const std::vector<COLORREF> normal = snapshot();
    EXPECT_GT(PixelsOf(c.Button1, green), 20);
    EXPECT_GT(PixelsOf(c.Button2, light), 60 * 22 / 2);
    EXPECT_GT(PixelsOf(c.StaticText1, RGB(0, 150, 0)), 20);
    EXPECT_EQ(staticColours(c.StaticText2), std::pair(RGB(0, 0, 0), own));

    high = true;
    follow(WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST);
    EXPECT_TRUE(form.HighContrast());
    EXPECT_EQ(PixelsOf(c.Button1, green), 0);
    EXPECT_GT(PixelsOf(c.Button1, buttonText), 20);
    EXPECT_GT(PixelsOf(c.Button2, face), 60 * 22 / 2) << "the Close button's face";
    EXPECT_EQ(PixelsOf(c.StaticText1, RGB(0, 150, 0)), 0);
    EXPECT_GT(PixelsOf(c.StaticText1, text), 20);
    for (HWND control : {c.StaticText1, c.StaticText2, c.StaticText5, c.TrackBar1}) {
        EXPECT_EQ(staticColours(control), std::pair(text, face));
    }
    EXPECT_EQ(PixelsOf(c.TrackBar1, own), 0) << "the bar's background";
    const std::vector<COLORREF> contrast = snapshot();
    EXPECT_EQ(std::count(contrast.begin(), contrast.end(), own), 0);

    high = false;
    follow(WM_SYSCOLORCHANGE, 0);
    EXPECT_FALSE(form.HighContrast());
    EXPECT_TRUE(snapshot() == normal) << "off again, every pixel as before";
}

// --- Track bars ----------------------------------------------------------------------

using SettingsTrackBars = SettingsWindowTest;

TEST_F(SettingsTrackBars, SizeReadsTheDisplayHeightAnew) {
    auto state = StartedState();
    ClockController& life = LifeOf(*state);
    auto form = std::make_unique<TForm2>(life, nullptr, RecordingPlatform(tray));
    lives.back()->platform.monitors = {{0, 0, 1366, 290}}; // the display shrank since start-up
    life.MonitorsChanged();
    MoveBar(*form, form->Controls().TrackBar2, 20);
    EXPECT_EQ(state->Diameter, 290); // 300 reaches the height: the height
    EXPECT_EQ(state->Radius, 145);
}

TEST_F(SettingsTrackBars, SizeIsCappedByTheMonitorTheClockIsOn) {
    auto state = StartedState();
    ClockController& life = LifeOf(*state, {}, {{0, 0, 1366, 768}, {1366, 0, 2390, 280}});
    TForm2 form(life, nullptr, RecordingPlatform(tray));
    life.Moved({1400, 0}); // the clock on the second monitor
    MoveBar(form, form.Controls().TrackBar2, 20);
    EXPECT_EQ(state->Diameter, 280);
}

TEST_F(SettingsTrackBars, BrightnessStoresTheSettingAndItsFactorAndShades) {
    auto state = StartedState([](ClockState& s) { s.Size = 20; });
    auto form = MakeForm(*state);
    MoveBar(*form, form->Controls().TrackBar1, 15, TB_THUMBTRACK);
    EXPECT_EQ(state->Bright, 15);
    EXPECT_EQ(state->BrightFactor, 0.5L);
    EXPECT_NEAR(CentreShading(*state), kCentreShadingBright15Contrast6, 1e-9L);
}

TEST_F(SettingsTrackBars, ContrastZeroLeavesEveryPixelUnshaded) {
    auto state = StartedState([](ClockState& s) { s.Size = 20; });
    auto form = MakeForm(*state);
    MoveBar(*form, form->Controls().TrackBar4, 0, TB_LINEUP);
    EXPECT_EQ(state->Contrast, 0);
    EXPECT_EQ(state->ContrastFactor, 0.0L);
    EXPECT_EQ(CentreShading(*state), 1.0L);
    EXPECT_EQ(state->Shading(state->Radius, 3), 1.0L); // near the rim
}

TEST_F(SettingsTrackBars, HandStyleStoresTheSettingAlone) {
    auto state = StartedState();
    auto form = MakeForm(*state);
    state->ShadingTable[0] = 0.125L; // a recomputation would overwrite it
    MoveBar(*form, form->Controls().TrackBar3, 3, TB_PAGEDOWN);
    EXPECT_EQ(state->Algoritm, 3);
    EXPECT_EQ(state->Diameter, 285);
    EXPECT_EQ(state->ShadingTable[0], 0.125L);
}

TEST_F(SettingsTrackBars, EveryNotificationRunsTheHandlerWithTheCurrentPosition) {
    auto state = StartedState([](ClockState& s) { s.Algoritm = 4; });
    auto form = MakeForm(*state);
    state->Algoritm = 1; // out of step with the bar, which holds 4
    SendMessageW(form->Handle(), WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0),
                 reinterpret_cast<LPARAM>(form->Controls().TrackBar3));
    EXPECT_EQ(state->Algoritm, 4);
}

TEST_F(SettingsTrackBars, ScrollMessagesFromElsewhereChangeNothing) {
    auto state = StartedState();
    auto form = MakeForm(*state);
    state->Algoritm = 1;
    SendMessageW(form->Handle(), WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), 0);
    EXPECT_EQ(state->Algoritm, 1);
}

// --- Save Settings --------------------------------------------------------------------

using SettingsSave = SettingsWindowTest;

// A key that has to be made anew (deleted while the clock ran) gets every value of the
// running clock, the start count too, so that the next start finds it whole.
TEST_F(SettingsSave, CreatesAnAbsentKeyWhole) {
    auto state = StartedState();
    auto form = MakeForm(*state);
    ASSERT_FALSE(key.Exists());
    form->Button1Click();
    EXPECT_EQ(key.Read("Bright"), 30);
    EXPECT_EQ(key.Read("Size"), 19);
    EXPECT_EQ(key.Read("Left"), 540);
    EXPECT_EQ(key.Read("Start_1"), 2);
    key.Remove("Start_1");
    form->Button1Click();
    EXPECT_FALSE(key.Read("Start_1").has_value()) << "an existing key: all but the count";
}

TEST_F(SettingsSave, TimerPutsTheHintBackOnceAndStops) {
    auto state = StartedState();
    auto form = MakeForm(*state);
    form->Button1Click();
    form->TimerTimer();
    EXPECT_EQ(WindowText(form->Controls().StaticText1), "Position : cursor + arrows + leftbutton");
    EXPECT_EQ(StaticTextColour(*form, form->Controls().StaticText1), RGB(0, 0, 0));
    EXPECT_FALSE(form->TimerEnabled());
    // A stray tick after that changes nothing.
    SendMessageW(form->Handle(), WM_TIMER, TForm2::kTimerId, 0);
    EXPECT_EQ(form->StatusColour(), RGB(0, 0, 0));
}

TEST_F(SettingsSave, AKeyThatCannotBeCreatedIsReportedAndNotConfirmed) {
    auto state = StartedState();
    TForm2 form(LifeOf(*state, key.Path() + "\\Settings"), nullptr, RecordingPlatform(tray));
    form.Button1Click();
    ASSERT_EQ(form.StatusColour(), RGB(0, 150, 0));
    // A lasting key cannot be created below a volatile one.
    RegDeleteTreeA(HKEY_CURRENT_USER, key.Relative().c_str());
    HKEY parent = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.Relative().c_str(), 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &parent, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(parent);
    SendMessageW(form.Controls().Button1, BM_CLICK, 0, 0);
    // The clock's life shows it (here its stand-in platform keeps the boxes).
    const std::vector<std::string>& boxes = lives.back()->platform.boxes;
    ASSERT_EQ(boxes.size(), 1u);
    const std::string expected =
        "Failed to create key 'HKEY_CURRENT_USER\\" + key.Relative() + "\\Settings': ";
    EXPECT_EQ(boxes[0].substr(0, expected.size()), expected);
    EXPECT_GT(boxes[0].size(), expected.size()) << "the system's reason";
    // The confirmation of the earlier save does not stand for this one.
    EXPECT_EQ(WindowText(form.Controls().StaticText1), "Position : cursor + arrows + leftbutton");
    EXPECT_EQ(form.StatusColour(), RGB(0, 0, 0));
}

// --- The keyboard ------------------------------------------------------------------

class SettingsKeyboard : public SettingsWindowTest {
  protected:
    // A later start's window, opened from the tray icon.
    std::unique_ptr<TForm2> OpenForm(ClockState& state) {
        auto form = MakeForm(state);
        form->TrayIconMessage(WM_LBUTTONUP);
        tray->calls.clear();
        return form;
    }
};

// A key pressed and let go in the control with the focus, as the program's
// message loop receives it.
void PressKey(WORD key, bool shift = false) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(keys);
    HWND focus = GetFocus();
    PostMessageW(focus, WM_KEYDOWN, key, 1);
    PostMessageW(focus, WM_KEYUP, key, 0xC0000001);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TForm::ProcessMessage(message);
    }
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
}

TEST_F(SettingsKeyboard, TabVisitsTheBarsAndButtonsAndArrowsMoveTheFocusedBar) {
    auto state = StartedState();
    auto form = OpenForm(*state);
    const TForm2::Components& c = form->Controls();
    EXPECT_EQ(GetFocus(), c.TrackBar1);
    for (HWND next : {c.TrackBar2, c.TrackBar3, c.TrackBar4, c.Button1, c.Button2, c.TrackBar1}) {
        PressKey(VK_TAB);
        EXPECT_EQ(GetFocus(), next);
    }
    for (HWND previous : {c.Button2, c.Button1, c.TrackBar4, c.TrackBar3, c.TrackBar2}) {
        PressKey(VK_TAB, true);
        EXPECT_EQ(GetFocus(), previous);
    }
    PressKey(VK_RIGHT);
    EXPECT_EQ(state->Size, 20);
    EXPECT_EQ(state->Diameter, 300);
    PressKey(VK_LEFT);
    PressKey(VK_LEFT);
    EXPECT_EQ(state->Size, 18);
    EXPECT_EQ(state->Bright, 30);
}

TEST_F(SettingsKeyboard, EnterOrSpacePressesTheFocusedButtonEscapeIsTheCloseBox) {
    auto state = StartedState();
    auto form = OpenForm(*state);
    PressKey(VK_RETURN); // on a bar: nothing to press
    EXPECT_FALSE(key.Exists());
    for (int i = 0; i < 4; ++i) {
        PressKey(VK_TAB);
    }
    ASSERT_EQ(GetFocus(), form->Controls().Button1);
    PressKey(VK_RETURN);
    EXPECT_EQ(key.Read("Size"), 19);
    EXPECT_EQ(form->StatusColour(), RGB(0, 150, 0));

    PressKey(VK_ESCAPE);
    EXPECT_FALSE(IsWindowVisible(form->Handle()));
    EXPECT_EQ(tray->Actions(), std::vector<DWORD>{NIM_ADD});

    // Opened again, the window gives the focus back to where it was.
    form->TrayIconMessage(WM_LBUTTONUP);
    EXPECT_EQ(GetFocus(), form->Controls().Button1);
    PressKey(VK_TAB);
    PressKey(VK_SPACE);
    EXPECT_FALSE(IsWindowVisible(form->Handle()));
}

} // namespace
} // namespace lumivane::windows
