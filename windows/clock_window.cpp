#include "clock_window/win/form1.h"

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <optional>

#include "clock_window/hand_hit.h"
#include "clock_window/monitors.h"
#include "clock_window/placement.h"
#include "image/tdib_win.h"
#include "platform/error.h"
#include "platform/win32_display.h"
#include "render/render.h"
#include "settings/settings_rules.h"

namespace lumivane {

namespace {

constexpr uint32_t kBlack = 0;

constexpr UINT kPositionTimerInterval = 5000;
constexpr UINT kPlacementTimerInterval = 30;
constexpr UINT kDragRedrawTimerInterval = 30;

Area AreaOf(const RECT& rect) {
    return {rect.left, rect.top, rect.right, rect.bottom};
}

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info)) {
        auto& monitors = *reinterpret_cast<std::vector<Area>*>(list);
        const bool primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
        monitors.insert(primary ? monitors.begin() : monitors.end(), AreaOf(info.rcMonitor));
    }
    return TRUE;
}

// The monitors, the primary first; the primary display alone when they cannot be listed.
std::vector<Area> EnumerateMonitors() {
    std::vector<Area> monitors;
    EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    if (monitors.empty()) {
        const Display primary = PrimaryDisplay();
        monitors.push_back({0, 0, primary.width, primary.height});
    }
    return monitors;
}

// The outer rectangle of the foreground window when it is a program's on show. The
// desktop and the shell's wallpaper windows are not.
std::optional<Area> ForegroundProgramWindow() {
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
    return AreaOf(rect);
}

std::unique_ptr<TDIB> MakeWinDIB() {
    return std::make_unique<TWinDIB>();
}

TWinDIB* Backed(const std::unique_ptr<TDIB>& buffer) {
    return dynamic_cast<TWinDIB*>(buffer.get());
}

// Wine puts a window's drawing and shape onto the screen only when its thread
// next waits; this lets it do so now.
void LetWineCatchUp() {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT);
}

// The longest the copy waits for the screen to show what the clock uncovers, ms: the
// X server takes the window away a moment after it is told, and another Wine program
// beneath repaints a moment later still.
constexpr int32_t kUncoveredRepaintWait = 10;

// The screen is copied in bands of rows of at most this many bytes (at 4 bytes a pixel,
// as the X server holds them): Wine fetches each copy into a temporary buffer, and the
// 32-bit C library gives blocks of 512 KiB and more as fresh pages from the system,
// zeroed and faulted in on every frame, where smaller ones come from its heap again.
// The default size's copy stays whole.
constexpr int64_t kCopyBandBytes = 448 * 1024;

// Under Wine: takes the window off the screen for the life of the object.
class WindowHidden {
  public:
    explicit WindowHidden(HWND window) : window_(window) {
        GdiObject<HRGN> nothing(CreateRectRgn(0, 0, 0, 0));
        if (nothing && SetWindowRgn(window_, nothing.get(), FALSE) != 0) {
            nothing.release(); // the window owns the region now
        }
        LetWineCatchUp();
    }
    ~WindowHidden() { SetWindowRgn(window_, nullptr, FALSE); }
    WindowHidden(const WindowHidden&) = delete;
    WindowHidden& operator=(const WindowHidden&) = delete;

  private:
    HWND window_;
};

} // namespace

bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TForm1::TForm1(ClockState& state, std::string settingsKeyPath)
    : state_(state), settingsKeyPath_(std::move(settingsKeyPath)), underWine_(RunningUnderWine()) {
    CreateHandle({.className = kClockWindowClass,
                  .icon = ProgramIcon(),
                  .exStyle = WS_EX_LAYERED | WS_EX_TOPMOST | WS_EX_TOOLWINDOW,
                  .style = WS_POPUP,
                  .caption = kClockWindowCaption,
                  .x = 0,
                  .y = 0,
                  .width = 300,
                  .height = 300});
    ShowWindow(Handle(), SW_SHOWNOACTIVATE);
}

bool TForm1::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_CREATE:
        SetLayeredWindowAttributes(Handle(), RGB(0, 0, 0), 0, LWA_COLORKEY);
        FormCreate();
        result = 0;
        return true;
    case WM_TIMER: {
        // By TimerId.
        constexpr void (TForm1::*kTimers[])() = {&TForm1::TimerTimer, &TForm1::Timer1Timer,
                                                 &TForm1::Timer2Timer, &TForm1::Timer3Timer,
                                                 &TForm1::FullScreenTimer};
        if (wParam < Timer || wParam > FullScreenCheck) {
            return false;
        }
        (this->*kTimers[wParam - Timer])();
        result = 0;
        return true;
    }
    case WM_NCHITTEST:
        // Every point that receives input is caption, so a press on a visible
        // pixel starts the system's move of the window.
        DefWindowProcW(Handle(), message, wParam, lParam);
        lookAtPointer_ = true;
        result = HTCAPTION;
        return true;
    case WM_SETCURSOR:
    case WM_NCMOUSEMOVE:
        lookAtPointer_ = true;
        return false;
    case WM_WINDOWPOSCHANGED:
        KeepPlace();
        lookAtPointer_ = true;
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
    case WM_DISPLAYCHANGE:
        MonitorsChanged();
        return false;
    case WM_SETTINGCHANGE:
        if (wParam == SPI_SETWORKAREA) {
            MonitorsChanged();
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
        // The clock window is the main window: closing it ends the program.
        PostQuitMessage(0);
        result = 0;
        return true;
    case kShowStartupProblem:
        if (!startupProblem_.empty()) {
            throw Error(startupProblem_);
        }
        result = 0;
        return true;
    default:
        return false;
    }
}

void TForm1::FormCreate() {
    monitors_ = EnumerateMonitors();
    SettingsStore store(settingsKeyPath_);
    const LoadReport loaded = LoadSettings(state_, DisplayOf(monitors_.front()),
                                           store.OpenStore(false) ? &store : nullptr);
    store.CloseStore();
    startupProblem_ = loaded.problem;
    StoreValues(ValuesToStore(loaded));
    SetTimerInterval(FrameIntervalRule(state_.Size));
    StartTimer(Timer1, kPositionTimerInterval);
    StartTimer(Timer2, kPlacementTimerInterval);
    StartTimer(Timer3, kDragRedrawTimerInterval);
    StartTimer(FullScreenCheck, kFullScreenCheckInterval);

    // The clock is as large as the monitor it starts on makes it.
    const size_t home = StartMonitor(state_, monitors_);
    DeriveStartupState(state_, DisplayOf(monitors_[home]), &MakeWinDIB);
    // Read now: the quick redraw while the clock moves can draw a frame before the
    // first tick, and it must not show a time the clock never read.
    ReadTime();
    const int32_t side = std::max(state_.Diameter, 0);
    SetClientSize(side, side);
    // The position save then stores where the clock really is.
    const Place start = StartPlace(state_, monitors_, home);
    MoveTo(start.left, start.top);
    KeepPlace();

    state_.StartCount = NextStartCount(state_.StartCount);
    StoreValues({{StoredName(&ClockState::StartCount), &ClockState::StartCount}});

    screenDC_ = ClientDC(nullptr);
    SetWindowLongPtrW(Handle(), GWL_STYLE, GetWindowLongPtrW(Handle(), GWL_STYLE) & ~WS_CAPTION);

    // The clock starts whatever the store said; the user hears of it once, when
    // the message loop runs.
    if (!startupProblem_.empty()) {
        PostMessageW(Handle(), kShowStartupProblem, 0, 0);
    }
}

void TForm1::StoreValues(const std::vector<StoredValue>& values) {
    if (values.empty()) {
        return;
    }
    SettingsStore store(settingsKeyPath_);
    try {
        if (store.OpenStore(true)) {
            for (const auto& [name, field] : values) {
                store.WriteValue(name, state_.*field);
            }
        }
    } catch (const Error& error) {
        if (startupProblem_.empty()) {
            startupProblem_ = error.what();
        }
    }
}

void TForm1::FormCloseQuery(bool& canClose) {
    canClose = true;
}

void TForm1::FormClose() {
    // A move the position timer has not seen yet would be lost. A failure is shown
    // here, before the window goes: the way out goes on.
    try {
        Timer1Timer();
    } catch (const std::exception& error) {
        ShowError(Handle(), error.what());
    }
}

void TForm1::SetTimerInterval(int32_t interval) {
    timerInterval_ = interval;
    StartTimer(Timer, static_cast<UINT>(interval));
}

// The system runs out of timers only when it runs out of everything; the clock then
// stands still rather than ending the program.
void TForm1::StartTimer(TimerId id, UINT interval) {
    if (SetTimer(Handle(), id, interval, nullptr) == 0) {
        OutputDebugStringA("Lumivane: a timer of the clock window could not be started\n");
    }
}

void TForm1::KeepPlace() {
    GetWindowRect(Handle(), &place_);
    GetClientRect(Handle(), &client_);
}

RECT TForm1::KeptRect() const {
    return place_;
}

Place TForm1::TopLeft() const {
    const RECT rect = KeptRect();
    return {rect.left, rect.top};
}

Area TForm1::Monitor() const {
    const RECT rect = KeptRect();
    return MonitorOf({rect.left, rect.top}, rect.right - rect.left, rect.bottom - rect.top);
}

Area TForm1::MonitorOf(Place at, int32_t width, int32_t height) const {
    return monitors_[OwningMonitor(monitors_, at, width, height).value()];
}

void TForm1::MonitorsChanged() {
    monitors_ = EnumerateMonitors();
    RECT client{};
    GetClientRect(Handle(), &client);
    const Place at = TopLeft();
    const Place to = KeepOnMonitors(monitors_, at, client.right, client.bottom);
    if (to != at) {
        MoveTo(to.left, to.top);
    }
}

void TForm1::FullScreenTimer() {
    const bool hide =
        HidesOverFullScreen(state_.HideFullScreen, ForegroundProgramWindow(), Monitor());
    if (hide == hiddenOverFullScreen_) {
        return;
    }
    hiddenOverFullScreen_ = hide;
    ShowWindow(Handle(), hide ? SW_HIDE : SW_SHOWNOACTIVATE);
    if (!hide) {
        Draw(); // what it hid with is stale
    }
}

void TForm1::TimerTimer() {
    ReadTime();
    Draw();
}

void TForm1::ReadTime() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    state_.Hour = now.wHour;
    state_.Minute = now.wMinute;
    state_.Second = now.wSecond;
}

void TForm1::Timer3Timer() {
    if (MovedFromSavedPlace(state_, TopLeft())) {
        Draw();
    }
}

void TForm1::Draw() {
    // Hidden, it neither copies the screen nor draws.
    if (hiddenOverFullScreen_) {
        return;
    }
    TWinDIB* frame = Backed(state_.FrameBuffer);
    TWinDIB* background = Backed(state_.BackgroundBuffer);
    if (frame == nullptr || background == nullptr) {
        return;
    }
    if (state_.Diameter != state_.PrevDiameter) {
        const int32_t side = std::max(state_.Diameter, 0);
        SetClientSize(side, side);
        ResizeBuffers(state_);
        SetTimerInterval(FrameIntervalRule(state_.Size));
    }
    if (!BuffersFitDiameter(state_)) {
        return;
    }
    if (underWine_) {
        // Wine's screen DC shows the layered window's own pixels; Windows leaves them
        // out. The window leaves the screen for the copy only and comes back with its
        // last frame; what the new one changes follows.
        const WindowHidden hidden(Handle());
        CopyUncovered(*background);
    } else {
        CopyScreen(*background);
    }
    const std::span<const FrameRect> drawn = RenderChangedFrame(state_);
    if (!drawn.empty()) {
        Present(drawn);
        lookAtPointer_ = true; // a visible pixel may now lie under a resting pointer
    }
    if (underWine_) {
        LetWineCatchUp();
    }
}

void TForm1::CopyScreen(TWinDIB& background) {
    const RECT rect = KeptRect();
    const int32_t width = background.Width();
    const int32_t height = background.Height();
    const int32_t band = static_cast<int32_t>(
        std::clamp<int64_t>(kCopyBandBytes / (4 * std::max<int64_t>(width, 1)), 1, height));
    for (int32_t top = 0; top < height; top += band) {
        BitBlt(background.Canvas().Handle(), 0, top, width, std::min(band, height - top),
               screenDC_.get(), rect.left, rect.top + top, SRCCOPY);
    }
}

void TForm1::CopyUncovered(TWinDIB& background) {
    CopyScreen(background);
    for (int32_t waited = 0; waited < kUncoveredRepaintWait && CopyShowsFrame(state_); ++waited) {
        Sleep(1);
        LetWineCatchUp();
        CopyScreen(background);
    }
}

void TForm1::Present(std::span<const FrameRect> parts) {
    TWinDIB* frame = Backed(state_.FrameBuffer);
    if (frame == nullptr) {
        return;
    }
    const ClientDC dc(Handle());
    if (dc) {
        for (const FrameRect& part : parts) {
            frame->DrawPart(dc.get(), 0, 0, RECT{part.left, part.top, part.right, part.bottom});
        }
        GdiFlush();
    }
}

void TForm1::Paint() {
    const PaintDC dc(Handle());
    if (TWinDIB* frame = Backed(state_.FrameBuffer)) {
        frame->Draw(dc.get(), 0, 0);
    }
}

void TForm1::Timer2Timer() {
    if (hiddenOverFullScreen_) {
        return;
    }
    KeepInsideMonitor();
    ClearPixelUnderCursor();
}

void TForm1::KeepInsideMonitor() {
    const Place at = TopLeft();
    const Place to =
        KeepInside(at, client_.right, client_.bottom, MonitorOf(at, client_.right, client_.bottom));
    if (to != at) {
        MoveTo(to.left, to.top);
    }
}

// Off the hands the window lets the pointer through: a black pixel is click-through.
// A visible pixel comes under the pointer only when the pointer moves over the window,
// the window moves or a frame is drawn; only then is the pointer asked for (a round
// trip to the server under Wine).
void TForm1::ClearPixelUnderCursor() {
    if (!lookAtPointer_) {
        return;
    }
    lookAtPointer_ = false;
    const RECT rect = KeptRect();
    POINT cursor{};
    if (!GetCursorPos(&cursor)) {
        return;
    }
    if (!(rect.left < cursor.x && cursor.x < rect.right && rect.top < cursor.y &&
          cursor.y < rect.bottom)) {
        return;
    }
    const int32_t u = cursor.x - rect.left;
    const int32_t v = cursor.y - rect.top;
    if (FindHandSample(state_, u, v)) {
        return;
    }
    // The window shows the frame already: only a pixel that turns black needs to
    // reach it, so a pointer resting on the dial costs next to nothing.
    if (state_.FrameBuffer != nullptr && state_.FrameBuffer->Pixel(u, v) != kBlack) {
        state_.FrameBuffer->PutPixel(u, v, kBlack);
        const FrameRect pixel{u, v, u + 1, v + 1};
        NoteFrameWritten(state_, pixel);
        Present({&pixel, 1});
    }
}

void TForm1::Timer1Timer() {
    const Place at = TopLeft();
    if (!MovedFromSavedPlace(state_, at)) {
        return;
    }
    // Taken before the store is opened: a store that cannot be opened is not
    // retried until the window moves again.
    state_.SavedLeft = at.left;
    state_.SavedTop = at.top;
    SettingsStore store(settingsKeyPath_);
    if (store.OpenStore(true)) {
        store.WriteField(state_, &ClockState::SavedLeft);
        store.WriteField(state_, &ClockState::SavedTop);
    }
}

} // namespace lumivane
