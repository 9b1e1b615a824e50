#include "windows/settings_window.h"

#include <commctrl.h>
#include <oleacc.h>

#include <array>
#include <initializer_list>
#include <iterator>
#include <string_view>
#include <utility>

#include "core/clock/placement.h"
#include "core/controller/facts.h"
#include "core/error.h"

namespace lumivane::windows {

namespace {

// Lengths at 96 DPI; other DPIs scale them.
constexpr int kInnerBorder = 2;  // the form's border width inside its frame
constexpr int kFontHeight = -13; // negative: the height of the characters themselves

// The four track bars and their labels as controls; their ranges, settings and texts are
// in kBars.
struct TrackBarControl {
    HWND TForm2::Components::*control;
    HWND TForm2::Components::*label;
    Bar bar;
};
constexpr std::array<TrackBarControl, 4> kTrackBars{{
    {&TForm2::Components::TrackBar1, &TForm2::Components::StaticText2, Bar::Bright},
    {&TForm2::Components::TrackBar2, &TForm2::Components::StaticText3, Bar::Size},
    {&TForm2::Components::TrackBar3, &TForm2::Components::StaticText4, Bar::Algoritm},
    {&TForm2::Components::TrackBar4, &TForm2::Components::StaticText5, Bar::Contrast},
}};

enum class Lettering { None, Text, Save };

// Where each control sits at 96 DPI, in client coordinates, and its font.
struct ControlPlace {
    HWND TForm2::Components::*control;
    int left;
    int top;
    int width;
    int height;
    Lettering lettering;
};
using Parts = TForm2::Components;
constexpr std::array<ControlPlace, 12> kLayout{{
    {&Parts::PageControl1, 0, 0, TForm2::kClientWidth, TForm2::kClientHeight, Lettering::None},
    {&Parts::StaticText1, 8, 16, 256, 20, Lettering::Text},
    {&Parts::StaticText2, 8, 48, 77, 20, Lettering::Text},
    {&Parts::StaticText3, 8, 128, 75, 20, Lettering::Text},
    {&Parts::StaticText4, 192, 48, 51, 20, Lettering::Text},
    {&Parts::StaticText5, 192, 128, 61, 20, Lettering::Text},
    {&Parts::TrackBar1, 1, 70, 150, 12, Lettering::None},
    {&Parts::TrackBar2, 1, 150, 150, 12, Lettering::None},
    {&Parts::TrackBar3, 185, 70, 150, 12, Lettering::None},
    {&Parts::TrackBar4, 185, 150, 150, 12, Lettering::None},
    {&Parts::Button1, 10, 195, 105, 22, Lettering::Save},
    {&Parts::Button2, 340, 195, 60, 22, Lettering::Text},
}};

// The DPI of the monitor a window is on; before Windows 10, where the call is
// missing, the system's.
UINT WindowDpi(HWND window) {
    using GetDpiForWindowCall = UINT(WINAPI*)(HWND);
    const FARPROC call = GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
    if (call != nullptr) {
        if (const UINT dpi =
                reinterpret_cast<GetDpiForWindowCall>(reinterpret_cast<void*>(call))(window)) {
            return dpi;
        }
    }
    const ClientDC screen(nullptr);
    return screen ? static_cast<UINT>(GetDeviceCaps(screen.get(), LOGPIXELSX)) : 96;
}

HFONT MakeBoldFont(const wchar_t* face, int height) {
    return CreateFontW(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, face);
}

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

bool SystemHighContrast() {
    HIGHCONTRASTW setting{};
    setting.cbSize = sizeof setting;
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof setting, &setting, 0) &&
           (setting.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

// The status line is a polite live region: a screen reader reads its news without the
// focus going there. The annotation needs Windows 8; the event reaches older readers too.
constexpr MSAAPROPID kLiveSettingProperty{
    0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
constexpr LONG kPoliteLiveSetting = 1;

ComPtr<IAccPropServices> AnnotationServices() {
    IAccPropServices* services = nullptr;
    if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IAccPropServices, reinterpret_cast<void**>(&services)))) {
        return {};
    }
    return ComPtr<IAccPropServices>(services);
}

void MarkLiveRegion(HWND control) {
    if (const auto services = AnnotationServices()) {
        VARIANT polite{};
        polite.vt = VT_I4;
        polite.lVal = kPoliteLiveSetting;
        services->SetHwndProp(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                              kLiveSettingProperty, polite);
    }
}

void ClearLiveRegion(HWND control) {
    if (const auto services = AnnotationServices()) {
        services->ClearHwndProps(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                 &kLiveSettingProperty, 1);
    }
}

} // namespace

TForm2::TForm2(ClockController& controller, HWND owner, Platform platform)
    : controller_(controller), platform_(std::move(platform)), dpi_(kDefaultDpi) {
    if (!platform_.windowDpi) {
        platform_.windowDpi = WindowDpi;
    }
    if (!platform_.notifyIcon) {
        platform_.notifyIcon = &Shell_NotifyIconA;
    }
    if (!platform_.highContrast) {
        platform_.highContrast = SystemHighContrast;
    }
    highContrast_ = platform_.highContrast();
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_BAR_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&classes);
    const HICON icon = ProgramIcon();

    CreateHandle({.className = L"TForm2",
                  .icon = icon,
                  .exStyle = WS_EX_TOPMOST,
                  .style = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN,
                  .caption = Widened(kSettingsTitle).c_str(),
                  .width = kClientWidth,
                  .height = kClientHeight});
    tray_.emplace(Handle(), icon, platform_.notifyIcon);
    if (owner != nullptr) {
        // An owned window gets no taskbar button.
        SetWindowLongPtrW(Handle(), GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
    }
    CreateControls();
    dpi_ = platform_.windowDpi(Handle());
    LayOut();
    FormCreate();
}

TForm2::~TForm2() {
    controller_.CloseSettings();
}

void TForm2::CreateControls() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    // Placed and lettered by LayOut; numbered in the order of creation (the handlers
    // know the controls by handle). Each bar follows its label: Windows names a control
    // for screen readers from the static text before it in the tab order.
    INT_PTR id = 0;
    auto child = [&](const wchar_t* windowClass, const wchar_t* text, DWORD style) {
        HWND control =
            CreateWindowExW(0, windowClass, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                            Handle(), reinterpret_cast<HMENU>(++id), instance, nullptr);
        if (control == nullptr) {
            throw Error(FormatText(kCannotBeMade, "Window"));
        }
        return control;
    };
    constexpr DWORD kStatic = SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_NOTIFY;
    constexpr DWORD kBar = TBS_HORZ | TBS_AUTOTICKS | TBS_BOTTOM | WS_TABSTOP;
    constexpr DWORD kButton = BS_OWNERDRAW | WS_TABSTOP;
    Components& c = controls_;
    c.StaticText1 = child(L"STATIC", Widened(kHintLine.text).c_str(), kStatic);
    MarkLiveRegion(c.StaticText1);
    for (const TrackBarControl& entry : kTrackBars) {
        const BarRule& rule = RuleOf(entry.bar);
        c.*entry.label = child(L"STATIC", Widened(rule.label).c_str(), kStatic);
        HWND bar = child(TRACKBAR_CLASSW, L"", kBar);
        c.*entry.control = bar;
        SendMessageW(bar, TBM_SETRANGEMIN, FALSE, rule.minimum);
        SendMessageW(bar, TBM_SETRANGEMAX, FALSE, rule.maximum);
        SendMessageW(bar, TBM_SETTICFREQ, 1, 0);
        SendMessageW(bar, TBM_SETPAGESIZE, 0, 2);
        SendMessageW(bar, TBM_SETPOS, TRUE, rule.designPosition);
    }
    c.Button1 = child(L"BUTTON", Widened(kSaveButtonText).c_str(), kButton);
    c.Button2 = child(L"BUTTON", Widened(kCloseText).c_str(), kButton);
    // The framed background: below every other control, and clipped by them so
    // that repainting it never paints over them.
    c.PageControl1 = child(WC_TABCONTROLW, L"", WS_CLIPSIBLINGS);
    SetWindowPos(c.PageControl1, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

int TForm2::Scaled(int length) const {
    return ScaleToDpi(length, static_cast<int32_t>(dpi_));
}

void TForm2::LayOut() {
    // The new fonts reach the controls before the old ones are deleted.
    GdiObject<HFONT> text(MakeBoldFont(L"Microsoft Sans Serif", Scaled(kFontHeight)));
    GdiObject<HFONT> save(MakeBoldFont(L"MS Sans Serif", Scaled(kFontHeight)));
    for (const ControlPlace& place : kLayout) {
        HWND control = controls_.*place.control;
        SetWindowPos(control, nullptr, Scaled(place.left), Scaled(place.top), Scaled(place.width),
                     Scaled(place.height), SWP_NOZORDER | SWP_NOACTIVATE);
        if (place.lettering != Lettering::None) {
            HFONT font = place.lettering == Lettering::Save ? save.get() : text.get();
            SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        }
    }
    textFont_ = std::move(text);
    saveFont_ = std::move(save);
    const Components& c = controls_;
    for (HWND label : {c.StaticText1, c.StaticText2, c.StaticText3, c.StaticText4, c.StaticText5}) {
        FitToText(label, textFont_.get());
    }
    // The inner border's width is asked for again.
    SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetClientSize(Scaled(kClientWidth), Scaled(kClientHeight));
}

void TForm2::FormCreate() {
    RECT client{};
    GetClientRect(Handle(), &client);
    // The outer top-left corner, placed from the client size.
    const Place place =
        controller_.SettingsPlace(client.right, client.bottom, Scaled(kTaskbarInset));
    MoveTo(place.left, place.top);
    tray_->CheckItem(TrayIcon::kHideFullScreenId, controller_.HidesOverFullScreen());
    tray_->Add();
    controller_.OpenSettings(*this);
}

HWND TForm2::BarControl(Bar bar) const {
    return controls_.*kTrackBars[static_cast<size_t>(bar)].control;
}

void TForm2::TrackBarChange(Bar bar) {
    controller_.BarMoved(bar,
                         static_cast<int32_t>(SendMessageW(BarControl(bar), TBM_GETPOS, 0, 0)));
}

void TForm2::Button1Click() {
    controller_.SaveSettings();
}

void TForm2::TimerTimer() {
    controller_.StatusTimeUp();
}

void TForm2::ShowBar(Bar bar, int32_t position) {
    SendMessageW(BarControl(bar), TBM_SETPOS, TRUE, position);
}

void TForm2::ShowStatus(const StatusLine& status) {
    statusColour_ = status.colour;
    SetWindowTextA(controls_.StaticText1, status.text);
    InvalidateRect(controls_.StaticText1, nullptr, TRUE);
    // The confirmation is news for a screen reader; the hint coming back is not.
    if (std::string_view(status.text) == kConfirmationLine.text) {
        NotifyWinEvent(kLiveRegionChanged, controls_.StaticText1, OBJID_CLIENT, CHILDID_SELF);
    }
}

bool TForm2::StartStatusTimer(uint32_t interval) {
    timerEnabled_ = SetTimer(Handle(), kTimerId, interval, nullptr) != 0;
    return timerEnabled_;
}

void TForm2::StopStatusTimer() {
    KillTimer(Handle(), kTimerId);
    timerEnabled_ = false;
}

void TForm2::Button2Click() {
    tray_->Add();
    ShowWindow(Handle(), SW_HIDE);
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
        OptionsClick();
        break;
    case WM_RBUTTONUP:
        SetForegroundWindow(Handle());
        tray_->CheckItem(TrayIcon::kStartWithWindowsId, platform_.autostart.Enabled());
        if (const UINT chosen = tray_->ShowMenu(cursor)) {
            MenuItemClick(chosen);
        }
        break;
    default:
        break;
    }
}

void TForm2::OptionsClick() {
    tray_->Delete();
    ShowForm();
}

void TForm2::HideFullScreenClick() {
    const bool hide = !controller_.HidesOverFullScreen();
    tray_->CheckItem(TrayIcon::kHideFullScreenId, hide);
    controller_.SetHideFullScreen(hide);
}

void TForm2::Close1Click() {
    OptionsClick();
    PostQuitMessage(0);
}

// The item shows checked exactly when the value names this program; checking it
// replaces a value that names another copy.
void TForm2::StartWithWindowsClick() {
    if (platform_.autostart.Enabled()) {
        platform_.autostart.Disable();
    } else {
        platform_.autostart.Enable();
    }
}

void TForm2::ShowForm() {
    ShowWindow(Handle(), SW_SHOW);
    BringWindowToTop(Handle());
}

void TForm2::MenuItemClick(UINT id) {
    if (id == TrayIcon::kOptionsId) {
        tray_->ToggleOptionsCheck();
        OptionsClick();
    } else if (id == TrayIcon::kHideFullScreenId) {
        HideFullScreenClick();
    } else if (id == TrayIcon::kClose1Id) {
        Close1Click();
    } else if (id == TrayIcon::kStartWithWindowsId) {
        StartWithWindowsClick();
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
        CreateSolidBrush(GetSysColor(save || highContrast_ ? COLOR_BTNFACE : COLOR_3DLIGHT)));
    FillRect(item.hDC, &face, brush.get());

    wchar_t caption[32] = {};
    GetWindowTextW(item.hwndItem, caption, static_cast<int>(std::size(caption)));
    const Selection font(item.hDC, save ? saveFont_.get() : textFont_.get());
    SetBkMode(item.hDC, TRANSPARENT);
    const COLORREF system = GetSysColor(COLOR_BTNTEXT);
    SetTextColor(item.hDC,
                 save ? OwnColour(kSaveTextColour, highContrast_).value_or(system) : system);
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

void TForm2::ColoursChanged() {
    highContrast_ = platform_.highContrast();
    // The common controls hear of new colours only from their parent.
    const Components& c = controls_;
    for (HWND control : {c.PageControl1, c.TrackBar1, c.TrackBar2, c.TrackBar3, c.TrackBar4}) {
        SendMessageW(control, WM_SYSCOLORCHANGE, 0, 0);
    }
    RedrawWindow(Handle(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

// In high contrast the user's colours for a dialog's text and face; otherwise the
// window's own.
COLORREF TForm2::TextColour(HWND control) const {
    const uint32_t own = control == controls_.StaticText1 ? statusColour_ : kHintLine.colour;
    return OwnColour(own, highContrast_).value_or(GetSysColor(COLOR_WINDOWTEXT));
}

int TForm2::BackgroundColour() const {
    return highContrast_ ? COLOR_BTNFACE : COLOR_ACTIVEBORDER;
}

void TForm2::PaintInnerBorder() const {
    const WindowDC dc(Handle());
    if (dc.get() == nullptr) {
        return;
    }
    const RECT window = WindowRect();
    POINT origin{0, 0};
    ClientToScreen(Handle(), &origin);
    RECT client{};
    GetClientRect(Handle(), &client);
    OffsetRect(&client, origin.x - window.left, origin.y - window.top);
    RECT band = client;
    InflateRect(&band, Scaled(kInnerBorder), Scaled(kInnerBorder));
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
    if (tray_ && tray_->IsTaskbarCreated(message)) {
        // The shell came back without our icon: put it back while it is the way in.
        if (!IsWindowVisible(Handle())) {
            tray_->Add();
        }
        return true;
    }
    switch (message) {
    case TrayIcon::kMessage:
        TrayIconMessage(LOWORD(lParam));
        return true;
    case WM_HSCROLL: {
        const auto bar = reinterpret_cast<HWND>(lParam);
        for (const TrackBarControl& entry : kTrackBars) {
            if (bar == controls_.*entry.control) {
                TrackBarChange(entry.bar);
                return true;
            }
        }
        return false;
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
    case WM_ENDSESSION:
        // The program ends with the session, its windows left standing.
        if (wParam != 0) {
            tray_->Withdraw();
        }
        return false;
    case WM_DESTROY:
        // Destroyed with the clock window that owns it, as the program ends.
        tray_->Withdraw();
        ClearLiveRegion(controls_.StaticText1);
        return false;
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
        SetTextColor(dc, TextColour(control));
        SetBkColor(dc, GetSysColor(BackgroundColour()));
        result = reinterpret_cast<LRESULT>(GetSysColorBrush(BackgroundColour()));
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
        FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(BackgroundColour()));
        result = 1;
        return true;
    }
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE:
        ColoursChanged();
        return false;
    case WM_NCCALCSIZE: {
        result = DefWindowProcW(Handle(), message, wParam, lParam);
        RECT* clientArea = wParam != 0 ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0]
                                       : reinterpret_cast<RECT*>(lParam);
        InflateRect(clientArea, -Scaled(kInnerBorder), -Scaled(kInnerBorder));
        return true;
    }
    case WM_DPICHANGED: {
        // Dragged onto a monitor of another DPI: laid out anew where the system suggests.
        dpi_ = LOWORD(wParam);
        const auto& suggested = *reinterpret_cast<const RECT*>(lParam);
        MoveTo(suggested.left, suggested.top);
        LayOut();
        result = 0;
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

} // namespace lumivane::windows
