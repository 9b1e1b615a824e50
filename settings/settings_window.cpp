#include "settings/settings_window.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <utility>

#include "clock_window/clock_state.h"
#include "image/error.h"

namespace lumivane {

namespace {

constexpr int kInnerBorder = 2;    // the form's border width inside its frame
constexpr int kTaskbarInset = 100; // the window sits this far above the display's bottom
constexpr COLORREF kSaveTextColour = RGB(0, 128, 0);
constexpr int kFontHeight = -13; // negative: the height of the characters themselves

constexpr int kStaticText1Id = 1;
constexpr int kStaticText2Id = 2;
constexpr int kStaticText3Id = 3;
constexpr int kStaticText4Id = 4;
constexpr int kStaticText5Id = 5;
constexpr int kTrackBar1Id = 11;
constexpr int kTrackBar2Id = 12;
constexpr int kTrackBar3Id = 13;
constexpr int kTrackBar4Id = 14;
constexpr int kButton1Id = 21;
constexpr int kButton2Id = 22;
constexpr int kPageControl1Id = 31;

struct BarDesign {
    int minimum;
    int maximum;
    int position; // the design position; creation compares the setting against it
};
constexpr BarDesign kBrightBar{0, 30, 0};
constexpr BarDesign kSizeBar{5, 50, 5};
constexpr BarDesign kAlgoritmBar{0, 5, 0};
constexpr BarDesign kContrastBar{0, 15, 0};

Display PrimaryDisplay() {
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

// The executable's icon, by number or by name; a test program has none and
// shows the system's application icon.
HICON ProgramIcon() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    const wchar_t* const resources[] = {MAKEINTRESOURCEW(1), L"MAINICON"};
    for (const wchar_t* resource : resources) {
        if (HICON icon = LoadIconW(instance, resource)) {
            return icon;
        }
    }
    return LoadIconW(nullptr, IDI_APPLICATION);
}

HFONT MakeBoldFont(const wchar_t* face) {
    return CreateFontW(kFontHeight, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, face);
}

// A black diagonal cross on white, 10 x 10: the "Close" item's glyph.
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
            pixels[y * kSide + x] = onCross ? 0x000000u : 0xFFFFFFu;
        }
    }
    GdiFlush();
    return glyph;
}

int Position(HWND bar) {
    return static_cast<int>(SendMessageW(bar, TBM_GETPOS, 0, 0));
}

// Selects a GDI object into a DC for one drawing and puts the previous one back.
class Selection {
  public:
    Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~Selection() { SelectObject(dc_, previous_); }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A window's client DC, released when the measuring or drawing is done.
class ClientDC {
  public:
    explicit ClientDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~ClientDC() {
        if (dc_ != nullptr) {
            ReleaseDC(window_, dc_);
        }
    }
    ClientDC(const ClientDC&) = delete;
    ClientDC& operator=(const ClientDC&) = delete;
    HDC get() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
};

// Widens a static text to its text when the font on this system is wider than
// the one it was laid out for; a static text never wraps or clips its line.
void FitToText(HWND control, HFONT font) {
    wchar_t text[64] = {};
    const int length = GetWindowTextW(control, text, static_cast<int>(std::size(text)));
    const ClientDC dc(control);
    if (dc.get() == nullptr) {
        return;
    }
    const Selection selected(dc.get(), font);
    SIZE extent{};
    if (!GetTextExtentPoint32W(dc.get(), text, length, &extent)) {
        return;
    }
    RECT bounds{};
    GetWindowRect(control, &bounds);
    const int width = bounds.right - bounds.left;
    if (extent.cx > width) {
        SetWindowPos(control, nullptr, 0, 0, extent.cx, bounds.bottom - bounds.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

// The DC of a whole window, released when the drawing is done.
class WindowDC {
  public:
    explicit WindowDC(HWND window) : window_(window), dc_(GetWindowDC(window)) {}
    ~WindowDC() {
        if (dc_ != nullptr) {
            ReleaseDC(window_, dc_);
        }
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC get() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
};

} // namespace

TForm2::TForm2(ClockState& state, std::string settingsKeyPath, HWND owner, Platform platform)
    : state_(state), settingsKeyPath_(std::move(settingsKeyPath)), platform_(std::move(platform)) {
    if (!platform_.displaySize) {
        platform_.displaySize = PrimaryDisplay;
    }
    if (!platform_.notifyIcon) {
        platform_.notifyIcon = [](DWORD action, NOTIFYICONDATAA* data) {
            return Shell_NotifyIconA(action, data);
        };
    }
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_BAR_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&classes);
    // Sent by the shell to every top-level window when the taskbar has been re-created.
    taskbarCreated_ = RegisterWindowMessageA("TaskbarCreated");
    icon_ = ProgramIcon();
    textFont_.reset(MakeBoldFont(L"Microsoft Sans Serif"));
    saveFont_.reset(MakeBoldFont(L"MS Sans Serif"));
    crossGlyph_.reset(MakeCrossGlyph());
    BuildPopupMenu();

    CreateHandle(L"TForm2", icon_, WS_EX_TOPMOST, WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN,
                 L"Lumivane Settings", CW_USEDEFAULT, CW_USEDEFAULT, kClientWidth, kClientHeight);
    if (Handle() == nullptr) {
        throw Error("Failed to create the settings window");
    }
    if (owner != nullptr) {
        // An owned window gets no taskbar button.
        SetWindowLongPtrW(Handle(), GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
    }
    CreateControls();
    FormCreate();
}

TForm2::~TForm2() = default;

void TForm2::CreateControls() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    auto child = [&](const wchar_t* windowClass, const wchar_t* text, DWORD style, int id, int left,
                     int top, int width, int height, HFONT font) {
        HWND control = CreateWindowExW(
            0, windowClass, text, WS_CHILD | WS_VISIBLE | style, left, top, width, height, Handle(),
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        if (control == nullptr) {
            throw Error("Failed to create the settings window");
        }
        if (font != nullptr) {
            SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        }
        return control;
    };
    constexpr DWORD kStatic = SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_NOTIFY;
    constexpr DWORD kBar = TBS_HORZ | TBS_AUTOTICKS | TBS_BOTTOM | WS_TABSTOP;
    constexpr DWORD kButton = BS_OWNERDRAW | WS_TABSTOP;
    HFONT text = textFont_.get();
    Components& c = controls_;
    c.StaticText1 = child(L"STATIC", L"", kStatic, kStaticText1Id, 8, 16, 256, 20, text);
    SetWindowTextA(c.StaticText1, kHint);
    c.StaticText2 = child(L"STATIC", L"Brightness", kStatic, kStaticText2Id, 8, 48, 77, 20, text);
    c.TrackBar1 = child(TRACKBAR_CLASSW, L"", kBar, kTrackBar1Id, 1, 70, 150, 12, nullptr);
    c.StaticText3 = child(L"STATIC", L"Clock size", kStatic, kStaticText3Id, 8, 128, 75, 20, text);
    c.TrackBar2 = child(TRACKBAR_CLASSW, L"", kBar, kTrackBar2Id, 1, 150, 150, 12, nullptr);
    c.StaticText4 = child(L"STATIC", L"Arrows", kStatic, kStaticText4Id, 192, 48, 51, 20, text);
    c.TrackBar3 = child(TRACKBAR_CLASSW, L"", kBar, kTrackBar3Id, 185, 70, 150, 12, nullptr);
    c.StaticText5 = child(L"STATIC", L"Contrast", kStatic, kStaticText5Id, 192, 128, 61, 20, text);
    c.TrackBar4 = child(TRACKBAR_CLASSW, L"", kBar, kTrackBar4Id, 185, 150, 150, 12, nullptr);
    c.Button1 =
        child(L"BUTTON", L"Save Settings", kButton, kButton1Id, 10, 195, 105, 22, saveFont_.get());
    c.Button2 = child(L"BUTTON", L"Close", kButton, kButton2Id, 340, 195, 60, 22, text);
    for (HWND label : {c.StaticText1, c.StaticText2, c.StaticText3, c.StaticText4, c.StaticText5}) {
        FitToText(label, text);
    }
    // The framed background: below every other control, and clipped by them so
    // that repainting it never paints over them.
    c.PageControl1 = child(WC_TABCONTROLW, L"", WS_CLIPSIBLINGS, kPageControl1Id, 0, 0,
                           kClientWidth, kClientHeight, nullptr);
    SetWindowPos(c.PageControl1, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    const std::pair<HWND, BarDesign> bars[] = {{c.TrackBar1, kBrightBar},
                                               {c.TrackBar2, kSizeBar},
                                               {c.TrackBar3, kAlgoritmBar},
                                               {c.TrackBar4, kContrastBar}};
    for (const auto& [bar, design] : bars) {
        SendMessageW(bar, TBM_SETRANGEMIN, FALSE, design.minimum);
        SendMessageW(bar, TBM_SETRANGEMAX, FALSE, design.maximum);
        SendMessageW(bar, TBM_SETTICFREQ, 1, 0);
        SendMessageW(bar, TBM_SETPAGESIZE, 0, 2);
        SendMessageW(bar, TBM_SETPOS, TRUE, design.position);
    }
}

void TForm2::BuildPopupMenu() {
    popupMenu_.reset(::CreatePopupMenu());
    if (!popupMenu_) {
        throw Error("Failed to create the tray menu");
    }
    wchar_t settings[] = L"Settings";
    MENUITEMINFOW options{};
    options.cbSize = sizeof options;
    options.fMask = MIIM_ID | MIIM_STRING | MIIM_STATE;
    options.wID = kOptionsId;
    options.fState = MFS_UNCHECKED;
    options.dwTypeData = settings;
    InsertMenuItemW(popupMenu_.get(), 0, TRUE, &options);

    wchar_t close[] = L"Close";
    MENUITEMINFOW close1{};
    close1.cbSize = sizeof close1;
    close1.fMask = MIIM_ID | MIIM_STRING | MIIM_BITMAP;
    close1.wID = kClose1Id;
    close1.dwTypeData = close;
    close1.hbmpItem = crossGlyph_.get();
    InsertMenuItemW(popupMenu_.get(), 1, TRUE, &close1);
}

void TForm2::FormCreate() {
    SetBarPosition(controls_.TrackBar1, state_.Bright, &TForm2::TrackBar1Change);
    SetBarPosition(controls_.TrackBar2, state_.Size, &TForm2::TrackBar2Change);
    SetBarPosition(controls_.TrackBar3, state_.Algoritm, &TForm2::TrackBar3Change);
    SetBarPosition(controls_.TrackBar4, state_.Contrast, &TForm2::TrackBar4Change);
    SetClientSize(kClientWidth, kClientHeight);
    const Display display = platform_.displaySize();
    RECT client{};
    GetClientRect(Handle(), &client);
    // The outer top-left corner, placed from the client size.
    SetWindowPos(Handle(), nullptr, display.width / 2 - client.right / 2,
                 display.height - client.bottom - kTaskbarInset, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    const bool showWhenCreated = state_.StartCount <= 1;
    InstallTrayIcon();
    if (showWhenCreated) {
        ShowForm();
    }
}

// A track bar clamps the value to its range and notifies only when the clamped
// value differs from what it holds, which at creation is the design position.
void TForm2::SetBarPosition(HWND bar, int value, void (TForm2::*change)()) {
    const int minimum = static_cast<int>(SendMessageW(bar, TBM_GETRANGEMIN, 0, 0));
    const int maximum = static_cast<int>(SendMessageW(bar, TBM_GETRANGEMAX, 0, 0));
    const int clamped = std::clamp(value, minimum, maximum);
    if (clamped != Position(bar)) {
        SendMessageW(bar, TBM_SETPOS, TRUE, clamped);
        (this->*change)();
    }
}

void TForm2::SetClientSize(int width, int height) {
    RECT window{};
    RECT client{};
    GetWindowRect(Handle(), &window);
    GetClientRect(Handle(), &client);
    const int frameWidth = (window.right - window.left) - client.right;
    const int frameHeight = (window.bottom - window.top) - client.bottom;
    SetWindowPos(Handle(), nullptr, 0, 0, width + frameWidth, height + frameHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm2::TrackBar1Change() {
    state_.Bright = Position(controls_.TrackBar1);
    state_.BrightFactor = state_.Bright / 30.0L;
    RecomputeShading(state_);
}

void TForm2::TrackBar2Change() {
    state_.Size = Position(controls_.TrackBar2);
    RecomputeGeometry(state_, platform_.displaySize().height);
}

void TForm2::TrackBar3Change() {
    state_.Algoritm = Position(controls_.TrackBar3);
}

void TForm2::TrackBar4Change() {
    state_.Contrast = Position(controls_.TrackBar4);
    state_.ContrastFactor = state_.Contrast / 30.0L;
    RecomputeShading(state_);
}

void TForm2::Button1Click() {
    SettingsStore store(settingsKeyPath_);
    if (!store.OpenStore(true)) {
        return;
    }
    store.WriteValue("Bright", state_.Bright);
    store.WriteValue("Size", state_.Size);
    store.WriteValue("Algoritm", state_.Algoritm);
    store.WriteValue("Contrast", state_.Contrast);
    store.WriteValue("Left", state_.SavedLeft);
    store.WriteValue("Top", state_.SavedTop);
    store.CloseStore();
    SetStatus(kConfirmation, kConfirmationColour);
    // Enabling the running timer leaves it running: the hint returns 5 s after
    // the first of several saves.
    if (!timerEnabled_) {
        timerEnabled_ = SetTimer(Handle(), kTimerId, kTimerInterval, nullptr) != 0;
    }
}

void TForm2::TimerTimer() {
    SetStatus(kHint, kHintColour);
    KillTimer(Handle(), kTimerId);
    timerEnabled_ = false;
}

void TForm2::Button2Click() {
    AddIcon();
    HideForm();
}

void TForm2::FormClose() {
    Button2Click();
}

void TForm2::TrayIconMessage(UINT mouseMessage) {
    POINT cursor{};
    GetCursorPos(&cursor);
    switch (mouseMessage) {
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
        DeleteIcon();
        ShowForm();
        break;
    case WM_RBUTTONUP:
        SetForegroundWindow(Handle());
        ShowPopupMenu(cursor);
        break;
    default:
        break;
    }
}

void TForm2::OptionsClick() {
    DeleteIcon();
    ShowForm();
}

void TForm2::Close1Click() {
    DeleteIcon();
    ShowForm();
    PostQuitMessage(0);
}

void TForm2::InstallTrayIcon() {
    iconData_ = {};
    iconData_.cbSize = NOTIFYICONDATAA_V1_SIZE;
    iconData_.hWnd = Handle();
    iconData_.uID = kTrayIconId;
    iconData_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    iconData_.uCallbackMessage = kTrayMessage;
    iconData_.hIcon = icon_;
    std::strncpy(iconData_.szTip, kApplicationTitle, sizeof iconData_.szTip - 1);
    AddIcon();
}

// A refused addition or deletion changes nothing the user could act on.
void TForm2::AddIcon() {
    platform_.notifyIcon(NIM_ADD, &iconData_);
}

void TForm2::DeleteIcon() {
    platform_.notifyIcon(NIM_DELETE, &iconData_);
}

void TForm2::ShowForm() {
    ShowWindow(Handle(), SW_SHOW);
    BringWindowToTop(Handle());
}

void TForm2::HideForm() {
    ShowWindow(Handle(), SW_HIDE);
}

void TForm2::SetStatus(const char* text, COLORREF colour) {
    statusColour_ = colour;
    SetWindowTextA(controls_.StaticText1, text);
    InvalidateRect(controls_.StaticText1, nullptr, TRUE);
}

void TForm2::ShowPopupMenu(POINT at) {
    const UINT chosen = static_cast<UINT>(
        TrackPopupMenu(popupMenu_.get(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD, at.x, at.y,
                       0, Handle(), nullptr));
    // Without this message the menu of a notification icon may not close when
    // the user clicks elsewhere.
    PostMessageA(Handle(), WM_NULL, 0, 0);
    if (chosen != 0) {
        MenuItemClick(chosen);
    }
}

void TForm2::MenuItemClick(UINT id) {
    if (id == kOptionsId) {
        const bool checked =
            (GetMenuState(popupMenu_.get(), kOptionsId, MF_BYCOMMAND) & MF_CHECKED) != 0;
        CheckMenuItem(popupMenu_.get(), kOptionsId,
                      MF_BYCOMMAND | (checked ? MF_UNCHECKED : MF_CHECKED));
        OptionsClick();
    } else if (id == kClose1Id) {
        Close1Click();
    }
}

void TForm2::DrawButton(const DRAWITEMSTRUCT& item) const {
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool save = item.hwndItem == controls_.Button1;
    RECT frame = item.rcItem;
    DrawFrameControl(item.hDC, &frame, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
    RECT face = item.rcItem;
    InflateRect(&face, -2, -2);
    const GdiObject<HBRUSH> brush(
        CreateSolidBrush(GetSysColor(save ? COLOR_BTNFACE : COLOR_3DLIGHT)));
    FillRect(item.hDC, &face, brush.get());

    wchar_t caption[32] = {};
    GetWindowTextW(item.hwndItem, caption, static_cast<int>(std::size(caption)));
    const Selection font(item.hDC, save ? saveFont_.get() : textFont_.get());
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, save ? kSaveTextColour : GetSysColor(COLOR_BTNTEXT));
    RECT text = face;
    if (pressed) {
        OffsetRect(&text, 1, 1);
    }
    DrawTextW(item.hDC, caption, -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if ((item.itemState & ODS_FOCUS) != 0) {
        RECT focus = face;
        InflateRect(&focus, -1, -1);
        DrawFocusRect(item.hDC, &focus);
    }
}

bool TForm2::SetControlCursor(HWND control, UINT hitTest) const {
    if (hitTest != HTCLIENT) {
        return false;
    }
    const Components& c = controls_;
    const bool handPoint = control == c.PageControl1 || control == c.TrackBar1 ||
                           control == c.TrackBar2 || control == c.TrackBar3 ||
                           control == c.Button1 || control == c.Button2;
    SetCursor(LoadCursorW(nullptr, handPoint ? IDC_HAND : IDC_ARROW));
    return true;
}

void TForm2::PaintInnerBorder() const {
    const WindowDC dc(Handle());
    if (dc.get() == nullptr) {
        return;
    }
    RECT window{};
    GetWindowRect(Handle(), &window);
    POINT origin{0, 0};
    ClientToScreen(Handle(), &origin);
    RECT client{};
    GetClientRect(Handle(), &client);
    OffsetRect(&client, origin.x - window.left, origin.y - window.top);
    RECT band = client;
    InflateRect(&band, kInnerBorder, kInnerBorder);
    ExcludeClipRect(dc.get(), client.left, client.top, client.right, client.bottom);
    FillRect(dc.get(), &band, GetSysColorBrush(COLOR_ACTIVEBORDER));
}

bool TForm2::PreviewKey(const MSG& message) {
    HWND focus = GetFocus();
    switch (message.wParam) {
    case VK_TAB: {
        const bool back = GetKeyState(VK_SHIFT) < 0;
        if (HWND next =
                GetNextDlgTabItem(Handle(), IsChild(Handle(), focus) ? focus : nullptr, back)) {
            SetFocus(next);
        }
        return true;
    }
    case VK_RETURN:
        if (focus == controls_.Button1 || focus == controls_.Button2) {
            SendMessageW(focus, BM_CLICK, 0, 0);
        }
        return true;
    case VK_ESCAPE:
        SendMessageW(Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    default:
        return false;
    }
}

bool TForm2::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (taskbarCreated_ != 0 && message == taskbarCreated_) {
        // The shell came back without our icon: put it back while it is the way in.
        if (!IsWindowVisible(Handle())) {
            AddIcon();
        }
        return true;
    }
    switch (message) {
    case kTrayMessage:
        TrayIconMessage(LOWORD(lParam));
        return true;
    case WM_HSCROLL: {
        const auto bar = reinterpret_cast<HWND>(lParam);
        if (bar == controls_.TrackBar1) {
            TrackBar1Change();
        } else if (bar == controls_.TrackBar2) {
            TrackBar2Change();
        } else if (bar == controls_.TrackBar3) {
            TrackBar3Change();
        } else if (bar == controls_.TrackBar4) {
            TrackBar4Change();
        } else {
            return false;
        }
        return true;
    }
    case WM_COMMAND:
        if (lParam == 0 && HIWORD(wParam) == 0) {
            MenuItemClick(LOWORD(wParam));
            return true;
        }
        if (HIWORD(wParam) == BN_CLICKED) {
            const auto button = reinterpret_cast<HWND>(lParam);
            if (button == controls_.Button1) {
                Button1Click();
                return true;
            }
            if (button == controls_.Button2) {
                Button2Click();
                return true;
            }
        }
        return false;
    case WM_TIMER:
        if (wParam == kTimerId && timerEnabled_) {
            TimerTimer();
        }
        return true;
    case WM_CLOSE:
        FormClose();
        return true;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE && IsChild(Handle(), GetFocus())) {
            focus_ = GetFocus();
        }
        return false;
    case WM_SETFOCUS:
        // The window itself takes no keys: the focus goes to the control that had
        // it, or to the first bar.
        SetFocus(focus_ != nullptr ? focus_ : GetNextDlgTabItem(Handle(), nullptr, FALSE));
        return true;
    case WM_CTLCOLORSTATIC: {
        const auto dc = reinterpret_cast<HDC>(wParam);
        const auto control = reinterpret_cast<HWND>(lParam);
        SetTextColor(dc, control == controls_.StaticText1 ? statusColour_ : kHintColour);
        SetBkColor(dc, GetSysColor(COLOR_ACTIVEBORDER));
        result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_ACTIVEBORDER));
        return true;
    }
    case WM_DRAWITEM: {
        const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item.CtlType != ODT_BUTTON) {
            return false;
        }
        DrawButton(item);
        result = TRUE;
        return true;
    }
    case WM_SETCURSOR:
        if (SetControlCursor(reinterpret_cast<HWND>(wParam), LOWORD(lParam))) {
            result = TRUE;
            return true;
        }
        return false;
    case WM_ERASEBKGND: {
        RECT client{};
        GetClientRect(Handle(), &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(COLOR_ACTIVEBORDER));
        result = 1;
        return true;
    }
    case WM_NCCALCSIZE: {
        result = DefWindowProcW(Handle(), message, wParam, lParam);
        RECT* clientArea = wParam != 0 ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0]
                                       : reinterpret_cast<RECT*>(lParam);
        InflateRect(clientArea, -kInnerBorder, -kInnerBorder);
        return true;
    }
    case WM_NCPAINT:
        result = DefWindowProcW(Handle(), message, wParam, lParam);
        PaintInnerBorder();
        return true;
    default:
        return false;
    }
}

} // namespace lumivane
