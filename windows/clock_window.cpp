#include "windows/clock_window.h"

#include <windowsx.h>

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <optional>
#include <utility>

#include "core/clock/hand_hit.h"
#include "core/controller/facts.h"
#include "core/render/render.h"
#include "windows/dib.h"

namespace lumivane::windows {

namespace {

// The window timers' ids, by ClockTimer.
constexpr UINT_PTR TimerId(ClockTimer timer) {
    return static_cast<UINT_PTR>(timer) + 1;
}

Rect RectOf(const RECT& rect) {
    return {rect.left, rect.top, rect.right, rect.bottom};
}

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info)) {
        auto& monitors = *reinterpret_cast<std::vector<Rect>*>(list);
        const bool primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
        monitors.insert(primary ? monitors.begin() : monitors.end(), RectOf(info.rcMonitor));
    }
    return TRUE;
}

// Every buffer of the clock is made by MakeBuffer.
TWinDIB& Backed(const std::unique_ptr<TDIB>& buffer) {
    return static_cast<TWinDIB&>(*buffer);
}

// Wine puts a window's drawing and shape onto the screen only when its thread
// next waits; this lets it do so now.
void LetWineCatchUp() {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT);
}

// The screen is copied in bands of rows of at most this many bytes (at 4 bytes a pixel,
// as the X server holds them): Wine fetches each copy into a temporary buffer, and the
// 32-bit C library gives blocks of 512 KiB and more as fresh pages from the system,
// zeroed and faulted in on every frame, where smaller ones come from its heap again.
// The default size's copy stays whole.
constexpr int64_t kCopyBandBytes = 448 * 1024;

// Under Wine: takes the window off the screen by turning all its pixels to the colour key
// (Wine shapes a colour-keyed window by its pixels). A window region would do too, but
// taking it away again leaves the window a solid square until Wine shapes it anew: for a
// moment each frame the clock would show black and catch clicks meant for what lies
// beneath.
void LeaveScreen(HWND window) {
    const ClientDC dc(window);
    if (dc) {
        RECT client{};
        GetClientRect(window, &client);
        FillRect(dc.get(), &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        GdiFlush();
    }
    LetWineCatchUp();
}

// True when the program runs under Wine rather than on Windows itself.
bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

} // namespace

TForm1::TForm1(ClockState& state, StoreMaker store)
    : state_(state), store_(std::move(store)), controller_(state, *this),
      underWine_(RunningUnderWine()) {
    const std::wstring caption = Widened(kTitle);
    CreateHandle({.className = kClockWindowClass,
                  .icon = ProgramIcon(),
                  .exStyle = WS_EX_LAYERED | WS_EX_TOPMOST | WS_EX_TOOLWINDOW,
                  .style = WS_POPUP,
                  .caption = caption.c_str(),
                  .x = 0,
                  .y = 0,
                  .width = 300,
                  .height = 300});
}

TForm1::~TForm1() {
    if (accessible_) {
        accessible_->Disconnect();
    }
}

bool TForm1::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_CREATE:
        SetLayeredWindowAttributes(Handle(), RGB(0, 0, 0), 0, LWA_COLORKEY);
        FormCreate();
        result = 0;
        return true;
    case WM_TIMER:
        if (wParam < TimerId(ClockTimer{}) || wParam >= TimerId(ClockTimer{}) + kClockTimers) {
            return false;
        }
        controller_.Fire(static_cast<ClockTimer>(wParam - TimerId(ClockTimer{})));
        result = 0;
        return true;
    case WM_NCHITTEST:
        // Every point that receives input is caption: a press there comes as
        // WM_NCLBUTTONDOWN, which takes the clock where it is on a hand.
        DefWindowProcW(Handle(), message, wParam, lParam);
        lookAtPointer_ = true;
        result = HTCAPTION;
        return true;
    case WM_MOUSEACTIVATE:
        // The clock never takes the keyboard from the window the user works in.
        result = MA_NOACTIVATE;
        return true;
    case WM_NCLBUTTONDOWN:
        // A press on a hand takes the clock, which follows the pointer until it is let go.
        if (wParam == HTCAPTION &&
            controller_.HandPressed(
                {GET_X_LPARAM(lParam) - place_.left, GET_Y_LPARAM(lParam) - place_.top},
                {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)})) {
            SetCapture(Handle());
        }
        result = 0;
        return true;
    case WM_MOUSEMOVE:
        if (GetCapture() == Handle()) {
            const DWORD at = GetMessagePos();
            controller_.PointerMoved({GET_X_LPARAM(at), GET_Y_LPARAM(at)});
        }
        return false;
    case WM_LBUTTONUP:
        ReleaseCapture(); // let go: WM_CAPTURECHANGED
        return false;
    case WM_CAPTURECHANGED:
        controller_.HandReleased();
        return false;
    case WM_SETCURSOR:
    case WM_NCMOUSEMOVE:
        lookAtPointer_ = true;
        return false;
    case WM_WINDOWPOSCHANGED:
        KeepPlace();
        lookAtPointer_ = true;
        controller_.Moved({place_.left, place_.top});
        return false; // on to WM_MOVE and WM_SIZE
    case WM_ERASEBKGND:
        if (state_.FrameBuffer == nullptr || state_.FrameBuffer->Empty()) {
            RECT client;
            GetClientRect(Handle(), &client);
            FillRect(reinterpret_cast<HDC>(wParam), &client,
                     static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        }
        result = 1;
        return true;
    case WM_PAINT:
        Paint();
        result = 0;
        return true;
    case WM_TIMECHANGE:
        // The time or the time zone was set: the new time now, not at the next tick.
        controller_.TimeChanged();
        result = 0;
        return true;
    case WM_POWERBROADCAST:
        if (wParam == PBT_APMRESUMEAUTOMATIC) {
            controller_.TimeChanged(); // after sleep the old time would show until the tick
        }
        return false;
    case WM_DISPLAYCHANGE:
        controller_.MonitorsChanged();
        return false;
    case WM_SETTINGCHANGE:
        if (wParam == SPI_SETWORKAREA) {
            controller_.MonitorsChanged();
        }
        return false;
    case WM_CLOSE: {
        bool canClose = true;
        FormCloseQuery(canClose);
        if (canClose) {
            FormClose();
            DestroyWindow(Handle());
        }
        result = 0;
        return true;
    }
    case WM_QUERYENDSESSION:
        // The session may end without another message reaching the program.
        FormClose();
        result = TRUE;
        return true;
    case WM_ENDSESSION:
        if (wParam != 0) {
            FormClose();
        }
        result = 0;
        return true;
    case WM_DESTROY:
        if (accessible_) {
            accessible_->Disconnect();
        }
        // The clock window is the main window: closing it ends the program.
        PostQuitMessage(0);
        result = 0;
        return true;
    case WM_GETOBJECT:
        // Screen readers ask for the client area: the clock. The window itself they get
        // from the system. (__uuidof: the 64-bit import libraries define IID_IAccessible
        // twice.)
        if (static_cast<DWORD>(lParam) == static_cast<DWORD>(OBJID_CLIENT) && accessible_) {
            result = LresultFromObject(__uuidof(IAccessible), wParam, accessible_.get());
            return true;
        }
        return false;
    case kShowStartupProblem:
        if (!deferredProblem_.empty()) {
            ShowProblem(std::exchange(deferredProblem_, {}));
            controller_.ProblemAnswered();
        }
        result = 0;
        return true;
    default:
        return false;
    }
}

void TForm1::FormCreate() {
    screenDC_ = ClientDC(nullptr);
    accessible_ = ClockAccessible::Make(Handle());
    SetWindowLongPtrW(Handle(), GWL_STYLE, GetWindowLongPtrW(Handle(), GWL_STYLE) & ~WS_CAPTION);
    KeepPlace();
    creating_ = true;
    controller_.Start();
    creating_ = false;
}

void TForm1::FormCloseQuery(bool& canClose) {
    canClose = true;
}

PlatformTraits TForm1::Traits() const {
    return {.placementTickAtRest = true, .pollFrontWindow = true, .keepsInsideWhileDragged = true};
}

std::vector<Rect> TForm1::Monitors() {
    std::vector<Rect> monitors;
    EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    if (monitors.empty()) {
        // The primary display alone when they cannot be listed.
        monitors.push_back({0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)});
    }
    return monitors;
}

std::unique_ptr<SettingsStore> TForm1::Store() {
    return store_();
}

std::unique_ptr<TDIB> TForm1::MakeBuffer() {
    return std::make_unique<TWinDIB>();
}

TimeOfDay TForm1::Now() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

void TForm1::ShowWindow(bool shown) {
    ::ShowWindow(Handle(), shown ? SW_SHOWNOACTIVATE : SW_HIDE);
}

// The system runs out of timers only when it runs out of everything; the clock then
// stands still rather than ending the program.
void TForm1::StartTimer(ClockTimer timer, uint32_t interval) {
    if (SetTimer(Handle(), TimerId(timer), interval, nullptr) == 0) {
        OutputDebugStringA("Lumivane: a timer of the clock window could not be started\n");
    }
}

void TForm1::StopTimer(ClockTimer timer) {
    KillTimer(Handle(), TimerId(timer));
}

// The outer rectangle of the foreground window when it is a program's on show. The
// desktop and the shell's wallpaper windows are not.
std::optional<Rect> TForm1::FrontWindow() {
    HWND window = GetForegroundWindow();
    RECT rect{};
    if (window == nullptr || window == GetDesktopWindow() || window == GetShellWindow() ||
        !IsWindowVisible(window) || IsIconic(window) || !GetWindowRect(window, &rect)) {
        return std::nullopt;
    }
    wchar_t name[16] = {};
    GetClassNameW(window, name, static_cast<int>(std::size(name)));
    if (std::wcscmp(name, L"Progman") == 0 || std::wcscmp(name, L"WorkerW") == 0) {
        return std::nullopt;
    }
    return RectOf(rect);
}

bool TForm1::ShowProblem(const std::string& text) {
    // A box shown while the window is being made waits for the message loop.
    if (creating_) {
        deferredProblem_ = text;
        PostMessageW(Handle(), kShowStartupProblem, 0, 0);
        return false;
    }
    // The window that is active, if it is the program's, owns the box (the settings
    // window when its Save failed); the clock window otherwise.
    HWND active = GetActiveWindow();
    HWND owner =
        active != nullptr && GetWindowThreadProcessId(active, nullptr) == GetCurrentThreadId()
            ? active
            : Handle();
    MessageBoxW(IsWindow(owner) ? owner : nullptr, Widened(text).c_str(), Widened(kTitle).c_str(),
                MB_OK | MB_ICONERROR);
    return true;
}

void TForm1::TimeShownChanged(TimeOfDay shown) {
    if (accessible_) {
        accessible_->Show(shown);
        NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, Handle(), OBJID_CLIENT, CHILDID_SELF);
    }
}

void TForm1::KeepPlace() {
    GetWindowRect(Handle(), &place_);
}

bool TForm1::ReadBeneath(TDIB& background, Place at) {
    if (underWine_) {
        // Wine's screen DC shows the layered window's own pixels; Windows leaves them
        // out. The window leaves the screen for the copy only and comes back with the
        // new frame, drawn whole.
        LeaveScreen(Handle());
        CopyUncovered(static_cast<TWinDIB&>(background), at);
        presentWhole_ = true;
    } else {
        CopyScreen(static_cast<TWinDIB&>(background), at);
    }
    // Nothing of Windows says, more cheaply than the copy itself, that nothing beneath
    // changed (bench/README.md).
    return true;
}

void TForm1::CopyScreen(TWinDIB& background, Place at) {
    const int32_t width = background.Width();
    const int32_t height = background.Height();
    const int32_t band = static_cast<int32_t>(
        std::clamp<int64_t>(kCopyBandBytes / (4 * std::max<int64_t>(width, 1)), 1, height));
    for (int32_t top = 0; top < height; top += band) {
        BitBlt(background.Canvas().Handle(), 0, top, width, std::min(band, height - top),
               screenDC_.get(), at.left, at.top + top, SRCCOPY);
    }
}

void TForm1::CopyUncovered(TWinDIB& background, Place at) {
    CopyScreen(background, at);
    for (uint32_t waited = 0; waited < kUncoveredRepaintWait && CopyShowsFrame(state_); ++waited) {
        Sleep(1);
        LetWineCatchUp();
        CopyScreen(background, at);
    }
}

void TForm1::Present(const Frame& frame) {
    std::span<const Rect> parts = frame.parts;
    const Rect whole{0, 0, state_.Diameter, state_.Diameter};
    if (std::exchange(presentWhole_, false)) {
        parts = {&whole, 1};
    }
    if (!parts.empty()) {
        const ClientDC dc(Handle());
        if (dc) {
            TWinDIB& frame = Backed(state_.FrameBuffer);
            for (const Rect& part : parts) {
                frame.DrawPart(dc.get(), 0, 0, RECT{part.left, part.top, part.right, part.bottom});
            }
            GdiFlush();
        }
        lookAtPointer_ = true; // a visible pixel may now lie under a resting pointer
    }
    if (underWine_) {
        LetWineCatchUp();
    }
}

void TForm1::Paint() {
    const PaintDC dc(Handle());
    if (state_.FrameBuffer != nullptr) {
        Backed(state_.FrameBuffer).Draw(dc.get(), 0, 0);
    }
}

// A visible pixel comes under the pointer only when the pointer moves over the window, the
// window moves or a frame is drawn; only then is the pointer asked for (a round trip to the
// server under Wine).
std::optional<Place> TForm1::PointerOverClock() {
    POINT cursor{};
    if (!std::exchange(lookAtPointer_, false) || !GetCursorPos(&cursor)) {
        return std::nullopt;
    }
    const RECT rect = place_;
    if (!(rect.left < cursor.x && cursor.x < rect.right && rect.top < cursor.y &&
          cursor.y < rect.bottom)) {
        return std::nullopt;
    }
    return Place{cursor.x - rect.left, cursor.y - rect.top};
}

} // namespace lumivane::windows
