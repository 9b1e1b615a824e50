#include "clock_window/win/form1.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "image/tdib_win.h"
#include "render/render.h"

namespace lumivane {

namespace {

// The stored values in the order of the load and of the defaults write.
struct StoredValue {
    const char* name;
    int32_t ClockState::*field;
};
constexpr std::array<StoredValue, 7> kStoredValues{{
    {"Bright", &ClockState::Bright},
    {"Size", &ClockState::Size},
    {"Algoritm", &ClockState::Algoritm},
    {"Contrast", &ClockState::Contrast},
    {"Left", &ClockState::SavedLeft},
    {"Top", &ClockState::SavedTop},
    {"Start_1", &ClockState::StartCount},
}};

// The part of each hand's sample tables that the hit test covers.
struct HandRange {
    HandSampleTable ClockState::*samples;
    int32_t ClockState::*length; // index of the last row
    int32_t lastColumn;
};
constexpr std::array<HandRange, 3> kHandRanges{{
    {&ClockState::HourSamples, &ClockState::HourHandLength, 18},
    {&ClockState::MinuteSamples, &ClockState::MinuteHandLength, 14},
    {&ClockState::SecondSamples, &ClockState::SecondHandLength, 10},
}};

constexpr int32_t kEdgeMargin = 5; // pixels the clock keeps inside the display
constexpr int32_t kEdgeStep = 2;   // pixels it moves back per tick
constexpr uint32_t kBlack = 0;

constexpr UINT kPositionTimerInterval = 5000;
constexpr UINT kPlacementTimerInterval = 30;
constexpr UINT kDragRedrawTimerInterval = 30;

Display PrimaryDisplay() {
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

std::unique_ptr<TDIB> MakeWinDIB() {
    return std::make_unique<TWinDIB>();
}

TWinDIB* Backed(const std::unique_ptr<TDIB>& buffer) {
    return dynamic_cast<TWinDIB*>(buffer.get());
}

void Blacken(TDIB& buffer) {
    if (!buffer.Empty()) {
        std::memset(buffer.ScanLine(buffer.Height() - 1), 0, buffer.SizeImage());
    }
}

// Wine puts a window's drawing and shape onto the screen only when its thread
// next waits; this lets it do so now.
void LetWineCatchUp() {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT);
}

// Time the windows beneath get to repaint what the clock uncovers, ms: without
// it the copy still holds the clock's own pixels wherever another Wine program lies below.
constexpr DWORD kUncoveredRepaintWait = 10;

// Under Wine: takes the window off the screen for the life of the object, once
// what lies beneath has been repainted.
class WindowHidden {
  public:
    explicit WindowHidden(HWND window) : window_(window) {
        GdiObject<HRGN> nothing(CreateRectRgn(0, 0, 0, 0));
        if (nothing && SetWindowRgn(window_, nothing.get(), FALSE) != 0) {
            nothing.release(); // the window owns the region now
        }
        LetWineCatchUp();
        Sleep(kUncoveredRepaintWait);
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
    HICON icon = LoadIconW(GetModuleHandleW(nullptr), kProgramIconName);
    CreateHandle(kClockWindowClass, icon, WS_EX_LAYERED | WS_EX_TOPMOST | WS_EX_TOOLWINDOW,
                 WS_POPUP, kClockWindowCaption, 0, 0, 300, 300);
    if (Handle() == nullptr) {
        throw Error(FormatText("%s cannot be made", std::string("Window")));
    }
    ShowWindow(Handle(), SW_SHOWNOACTIVATE);
}

TForm1::~TForm1() = default;

bool TForm1::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_CREATE:
        SetLayeredWindowAttributes(Handle(), RGB(0, 0, 0), 0, LWA_COLORKEY);
        FormCreate();
        result = 0;
        return true;
    case WM_TIMER:
        switch (wParam) {
        case Timer:
            TimerTimer();
            break;
        case Timer1:
            Timer1Timer();
            break;
        case Timer2:
            Timer2Timer();
            break;
        case Timer3:
            Timer3Timer();
            break;
        default:
            return false;
        }
        result = 0;
        return true;
    case WM_NCHITTEST:
        // Every point that receives input is caption, so a press on a visible
        // pixel starts the system's move of the window.
        DefWindowProcW(Handle(), message, wParam, lParam);
        result = HTCAPTION;
        return true;
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
        display_ = PrimaryDisplay();
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
    display_ = PrimaryDisplay();
    LoadSettings(display_);
    if (state_.StartCount == 0) {
        ApplyFirstStartDefaults(state_, display_);
        StoreFirstStartDefaults();
    }
    SetTimerInterval(FrameIntervalRule(state_.Size));
    SetTimer(Handle(), Timer1, kPositionTimerInterval, nullptr);
    SetTimer(Handle(), Timer2, kPlacementTimerInterval, nullptr);
    SetTimer(Handle(), Timer3, kDragRedrawTimerInterval, nullptr);

    DeriveStartupState(state_, display_, &MakeWinDIB);
    // Read now: the quick redraw while the clock moves can draw a frame before the
    // first tick, and it must not show a time the clock never read.
    ReadTime();
    const int32_t side = std::max(state_.Diameter, 0);
    SetClientSize(side, side);
    // A stored place from which no pixel of the clock would show (another display's,
    // or nonsense) starts just beyond the nearest edge instead: the edge keeping then
    // brings the clock in within seconds, where from the far ends of the coordinates
    // it would take minutes. The position save then stores where the clock really is.
    const int32_t left = std::clamp(state_.SavedLeft, -side, std::max(display_.width, -side));
    const int32_t top = std::clamp(state_.SavedTop, -side, std::max(display_.height, -side));
    SetWindowPos(Handle(), nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    state_.StartCount = NextStartCount(state_.StartCount);
    RecordStart();

    screenDC_ = WindowDC(nullptr);
    SetWindowLongPtrW(Handle(), GWL_STYLE, GetWindowLongPtrW(Handle(), GWL_STYLE) & ~WS_CAPTION);

    // The clock starts whatever the store said; the user hears of it once, when
    // the message loop runs.
    if (!startupProblem_.empty()) {
        PostMessageW(Handle(), kShowStartupProblem, 0, 0);
    }
}

void TForm1::NoteProblem(const Error& error) {
    if (startupProblem_.empty()) {
        startupProblem_ = error.what();
    }
}

void TForm1::LoadSettings(Display display) {
    // A value that is missing or of the wrong type takes its first-start default,
    // so that a damaged key still gives a clock that draws.
    ClockState defaults;
    ApplyFirstStartDefaults(defaults, display);
    SettingsStore store(settingsKeyPath_);
    if (!store.OpenStore(false)) {
        return;
    }
    for (const auto& [name, field] : kStoredValues) {
        try {
            state_.*field = store.ReadValue(name);
        } catch (const Error& error) {
            // An unreadable start counter in a key that exists counts as a later
            // start: its default, 0, would replace the user's settings with the defaults.
            state_.*field = field == &ClockState::StartCount ? 1 : defaults.*field;
            NoteProblem(error);
        }
    }
    store.CloseStore();
}

void TForm1::StoreFirstStartDefaults() {
    SettingsStore store(settingsKeyPath_);
    if (!store.OpenStore(true)) {
        return;
    }
    try {
        for (const auto& [name, field] : kStoredValues) {
            store.WriteValue(name, state_.*field);
        }
    } catch (const Error& error) {
        NoteProblem(error);
    }
    store.CloseStore();
}

void TForm1::RecordStart() {
    SettingsStore store(settingsKeyPath_);
    if (!store.OpenStore(true)) {
        return;
    }
    try {
        store.WriteValue("Start_1", state_.StartCount);
    } catch (const Error& error) {
        NoteProblem(error);
    }
    store.CloseStore();
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
    SetTimer(Handle(), Timer, static_cast<UINT>(interval), nullptr);
}

void TForm1::SetClientSize(int32_t width, int32_t height) {
    RECT frame{0, 0, width, height};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(Handle(), GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(Handle(), GWL_EXSTYLE)));
    SetWindowPos(Handle(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT TForm1::WindowRect() const {
    RECT rect{};
    GetWindowRect(Handle(), &rect);
    return rect;
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
    const RECT rect = WindowRect();
    if (rect.left != state_.SavedLeft || rect.top != state_.SavedTop) {
        Draw();
    }
}

void TForm1::Draw() {
    TWinDIB* frame = Backed(state_.FrameBuffer);
    TWinDIB* background = Backed(state_.BackgroundBuffer);
    if (frame == nullptr || background == nullptr) {
        return;
    }
    if (state_.Diameter != state_.PrevDiameter) {
        // Taken first: a resize that fails is reported once, not on every tick.
        state_.PrevDiameter = state_.Diameter;
        const int32_t side = std::max(state_.Diameter, 0);
        SetClientSize(side, side);
        for (TDIB* buffer : {static_cast<TDIB*>(frame), static_cast<TDIB*>(background)}) {
            buffer->SetWidth(state_.Diameter);
            buffer->SetHeight(state_.Diameter);
            // A buffer emptied by a size <= 0 has lost its other side as well.
            if (buffer->Empty() && state_.Diameter > 0) {
                buffer->SetSize(state_.Diameter, state_.Diameter);
            }
        }
        Blacken(*frame);
        SetTimerInterval(FrameIntervalRule(state_.Size));
    }
    // The renderers fill Diameter x Diameter pixels: nothing is drawn into buffers
    // of another size (emptied by a size <= 0, or left by a failed resize).
    const auto fits = [this](const TDIB& buffer) {
        return !buffer.Empty() && buffer.Width() == state_.Diameter &&
               buffer.Height() == state_.Diameter;
    };
    if (!fits(*frame) || !fits(*background)) {
        return;
    }
    if (!underWine_) {
        CopyScreen(*background);
        RenderFrame(state_);
        Present();
        return;
    }
    // Wine's screen DC shows the layered window's own pixels; Windows leaves them out.
    // The new frame is rendered before the window comes back, so that it comes back
    // with one presentation instead of the last frame's and then the new one's.
    {
        const WindowHidden hidden(Handle());
        CopyScreen(*background);
        RenderFrame(state_);
    }
    Present();
    LetWineCatchUp();
}

void TForm1::CopyScreen(TWinDIB& background) {
    const RECT rect = WindowRect();
    BitBlt(background.Canvas().Handle(), 0, 0, background.Width(), background.Height(),
           screenDC_.get(), rect.left, rect.top, SRCCOPY);
}

void TForm1::Present(const std::optional<RECT>& part) {
    TWinDIB* frame = Backed(state_.FrameBuffer);
    if (frame == nullptr) {
        return;
    }
    const WindowDC dc(Handle());
    if (dc) {
        if (part) {
            frame->DrawPart(dc.get(), 0, 0, *part);
        } else {
            frame->Draw(dc.get(), 0, 0);
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
    // The four edge rules in turn, each seeing where the one before left the clock;
    // the window moves once, to where they lead. A clock too big to keep the margin
    // on both sides would otherwise step out and back on every tick.
    RECT rect = WindowRect();
    RECT client{};
    GetClientRect(Handle(), &client);
    LONG left = rect.left;
    LONG top = rect.top;
    if (left > display_.width - client.right - kEdgeMargin) {
        left -= kEdgeStep;
    }
    if (left < kEdgeMargin) {
        left += kEdgeStep;
    }
    if (top > display_.height - client.bottom - kEdgeMargin) {
        top -= kEdgeStep;
    }
    if (top < kEdgeMargin) {
        top += kEdgeStep;
    }
    if (left != rect.left || top != rect.top) {
        SetWindowPos(Handle(), nullptr, left, top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        rect = WindowRect();
    }

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
    if (OnHand(u, v)) {
        return;
    }
    // The window shows the frame already: only a pixel that turns black needs to
    // reach it, so a pointer resting on the dial costs next to nothing.
    if (state_.FrameBuffer != nullptr && state_.FrameBuffer->Pixel(u, v) != kBlack) {
        state_.FrameBuffer->PutPixel(u, v, kBlack);
        Present(RECT{u, v, u + 1, v + 1});
    }
}

bool TForm1::OnHand(int32_t u, int32_t v) const {
    for (const auto& [samples, length, lastColumn] : kHandRanges) {
        const HandSampleTable& table = state_.*samples;
        const int32_t lastRow = std::min(state_.*length, table.Rows() - 1);
        const int32_t columns = std::min(lastColumn, table.columns - 1);
        for (int32_t row = 0; row <= lastRow; ++row) {
            for (int32_t column = 0; column <= columns; ++column) {
                if (table.X(row, column) == u && table.Y(row, column) == v) {
                    return true;
                }
            }
        }
    }
    return false;
}

void TForm1::Timer1Timer() {
    const RECT rect = WindowRect();
    if (rect.left == state_.SavedLeft && rect.top == state_.SavedTop) {
        return;
    }
    // Taken before the store is opened: a store that cannot be opened is not
    // retried until the window moves again.
    state_.SavedLeft = rect.left;
    state_.SavedTop = rect.top;
    SettingsStore store(settingsKeyPath_);
    if (store.OpenStore(true)) {
        store.WriteValue("Left", state_.SavedLeft);
        store.WriteValue("Top", state_.SavedTop);
        store.CloseStore();
    }
}

} // namespace lumivane
