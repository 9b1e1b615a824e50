#pragma once
// What the Windows-side tests share: the display they are written for, registry
// keys of their own, a recorder of the error boxes shown, one message pump, a
// clock state as start-up leaves it and a tray that records instead of reaching
// the shell.
#include "core/clock/clock_state.h"
#include "tests/core/controller/fake_platform.h"
#include "windows/settings_store.h"
#include "windows/settings_window.h"

#include <oleacc.h>

#include <gtest/gtest.h>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lumivane::testing_support {

using namespace lumivane::windows;

inline Display PrimaryDisplay() {
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

// The display every expectation is written for (Xvfb's screen).
inline constexpr Display kTestDisplay{1366, 768};

inline void RequireTestDisplay() {
    const Display display = PrimaryDisplay();
    ASSERT_EQ(display.width, kTestDisplay.width) << "run the tests on a 1366x768 display";
    ASSERT_EQ(display.height, kTestDisplay.height) << "run the tests on a 1366x768 display";
}

// A key below HKEY_CURRENT_USER, written and read behind the program's back.
class RegistryPath {
  public:
    explicit RegistryPath(std::string relative) : relative_(std::move(relative)) {}

    // The path in the program's form, with the leading backslash.
    std::string Path() const { return "\\" + relative_; }
    const std::string& Relative() const { return relative_; }
    RegistryPath Below(const std::string& name) const {
        return RegistryPath(relative_ + "\\" + name);
    }

    bool Exists() const {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, relative_.c_str(), 0, KEY_READ, &key) !=
            ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        return true;
    }

    // The value as a REG_DWORD of four bytes; nothing when it is absent or not one.
    std::optional<int32_t> Read(const char* name) const {
        DWORD data = 0;
        DWORD size = sizeof data;
        DWORD type = REG_NONE;
        if (RegGetValueA(HKEY_CURRENT_USER, relative_.c_str(), name, RRF_RT_ANY, &type, &data,
                         &size) != ERROR_SUCCESS ||
            type != REG_DWORD || size != sizeof data) {
            return std::nullopt;
        }
        return static_cast<int32_t>(data);
    }

    // Writes any type and any bytes, creating the key.
    void WriteRaw(const char* name, DWORD type, const std::vector<BYTE>& data) const {
        ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, relative_.c_str(), name, type, data.data(),
                                  static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS)
            << relative_ << " " << name;
    }
    void Write(const char* name, int32_t value) const {
        const auto bits = static_cast<uint32_t>(value);
        WriteRaw(name, REG_DWORD,
                 {static_cast<BYTE>(bits), static_cast<BYTE>(bits >> 8),
                  static_cast<BYTE>(bits >> 16), static_cast<BYTE>(bits >> 24)});
    }
    // A REG_SZ with its terminating zero.
    void WriteText(const char* name, const std::string& text) const {
        const char* chars = text.c_str();
        WriteRaw(name, REG_SZ, {chars, chars + text.size() + 1});
    }
    void Remove(const char* name) const {
        RegDeleteKeyValueA(HKEY_CURRENT_USER, relative_.c_str(), name);
    }

  private:
    std::string relative_;
};

// HKEY_CURRENT_USER\Software\LumivaneTest\<suite>.<test>, absent before and after the test.
class TestKey : public RegistryPath {
  public:
    TestKey() : RegistryPath(NameOfThisTest()) { Delete(); }
    ~TestKey() {
        Delete();
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\LumivaneTest"); // only when empty
    }
    TestKey(const TestKey&) = delete;
    TestKey& operator=(const TestKey&) = delete;

  private:
    static std::string NameOfThisTest() {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        return std::string("Software\\LumivaneTest\\") + test->test_suite_name() + "." +
               test->name();
    }
    void Delete() const { RegDeleteTreeA(HKEY_CURRENT_USER, Relative().c_str()); }
};

// The message of the error that `step` throws; empty when it throws none.
template <class Step> std::string ErrorOf(Step step) {
    try {
        step();
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
}

inline std::string WindowText(HWND window) {
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

inline std::string ClassName(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

// Every message box this thread opens while the object lives: its caption and its
// text, taken when the box has been filled in; the box is then closed, as a user
// would close it, so that no test waits for a click.
class ErrorBoxes {
  public:
    struct Box {
        std::string caption;
        std::string text;
    };

    ErrorBoxes() {
        current_ = this;
        hook_ = SetWindowsHookExW(WH_CALLWNDPROCRET, &AfterMessage, nullptr, GetCurrentThreadId());
    }
    ~ErrorBoxes() {
        UnhookWindowsHookEx(hook_);
        current_ = nullptr;
    }
    ErrorBoxes(const ErrorBoxes&) = delete;
    ErrorBoxes& operator=(const ErrorBoxes&) = delete;

    bool Hooked() const { return hook_ != nullptr; }
    // Runs while each box is open, before it is closed.
    std::function<void()> whileOpen;
    const std::vector<Box>& Seen() const { return boxes_; }
    size_t Count() const { return boxes_.size(); }

  private:
    static LRESULT CALLBACK AfterMessage(int code, WPARAM wParam, LPARAM lParam) {
        const auto* message = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        if (code == HC_ACTION && current_ != nullptr && message->message == WM_INITDIALOG &&
            ClassName(message->hwnd) == "#32770") {
            char text[512] = {};
            GetDlgItemTextA(message->hwnd, 0xFFFF, text, sizeof text); // the box's message
            current_->boxes_.push_back({WindowText(message->hwnd), text});
            if (current_->whileOpen) {
                current_->whileOpen();
            }
            PostMessageW(message->hwnd, WM_COMMAND, IDOK, 0);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    // The hook procedure has no context of its own; one recorder at a time.
    static inline ErrorBoxes* current_ = nullptr;
    HHOOK hook_ = nullptr;
    std::vector<Box> boxes_;
};

// Dispatches this thread's messages for `ms` milliseconds. The deadline is checked
// after every message: with clocks drawing, timer messages never run out.
inline void Pump(DWORD ms) {
    const ULONGLONG deadline = GetTickCount64() + ms;
    while (GetTickCount64() < deadline) {
        MSG message;
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TForm::ProcessMessage(message);
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
    }
}

// Takes the posted messages of kind `message` for `window` off this thread's
// queue; how many there were. (A filter of 0..0 means every message, so for
// WM_NULL the others are taken too, and dispatched.)
inline int TakePosted(HWND window, UINT message) {
    int count = 0;
    MSG taken;
    while (PeekMessageW(&taken, window, message, message, PM_REMOVE)) {
        if (taken.message == message) {
            ++count;
        } else {
            DispatchMessageW(&taken);
        }
    }
    return count;
}

// Takes a pending WM_QUIT off this thread's queue; true when there was one.
inline bool TakeQuit() {
    MSG taken;
    return PeekMessageW(&taken, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
}

// A clock state as start-up on the test display leaves it: first-start defaults,
// then `adjust` (the values a load would have brought), then everything derived.
inline std::unique_ptr<ClockState>
StartedState(const std::function<void(ClockState&)>& adjust = {}) {
    auto state = std::make_unique<ClockState>();
    ApplyFirstStartDefaults(*state, PrimaryDisplay());
    state->StartCount = 2;
    if (adjust) {
        adjust(*state);
    }
    DeriveStartupState(*state, PrimaryDisplay(), [] { return std::make_unique<TDIB>(); });
    return state;
}

// The dome factor at the centre pixel of an even dial (an odd one has no pixel there).
inline long double CentreShading(const ClockState& state) {
    EXPECT_EQ(state.Diameter % 2, 0);
    return state.Shading(state.Radius, state.Radius);
}

// Every addition and deletion of the tray icon, with the record as it was passed.
struct TrayLog {
    struct Call {
        DWORD action;
        NOTIFYICONDATAA record;
        BOOL result;
    };
    std::vector<Call> calls;
    BOOL result = TRUE;       // what the recorded calls answer
    bool passToShell = false; // also reach the real notification area

    std::vector<DWORD> Actions() const {
        std::vector<DWORD> actions;
        for (const Call& call : calls) {
            actions.push_back(call.action);
        }
        return actions;
    }
};

// A clock's life without a clock window, for a settings window of its own: `state` as
// start-up left it, the registry key `keyPath` its store, the test display its monitor
// unless others are given.
struct Life {
    FakePlatform platform;
    ClockController controller;
    Life(ClockState& state, const std::string& keyPath, std::vector<Rect> monitors = {})
        : controller(state, platform) {
        const Display display = PrimaryDisplay();
        platform.monitors = monitors.empty()
                                ? std::vector<Rect>{{0, 0, display.width, display.height}}
                                : std::move(monitors);
        platform.store = [keyPath] { return std::make_unique<RegistryStore>(keyPath); };
    }
};

// Platform services for a form under test: the tray recorded in `log`.
inline TForm2::Platform RecordingPlatform(const std::shared_ptr<TrayLog>& log) {
    TForm2::Platform platform;
    platform.notifyIcon = [log](DWORD action, NOTIFYICONDATAA* record) {
        const BOOL result = log->passToShell ? Shell_NotifyIconA(action, record) : log->result;
        log->calls.push_back({action, *record, result});
        return result;
    };
    return platform;
}

// A window's client area as a screen reader gets it (AccessibleObjectFromWindow), and
// what it reads of it; an empty text where the object answers none.
struct AccessibleView {
    ComPtr<IAccessible> object;

    explicit AccessibleView(HWND window) {
        IAccessible* found = nullptr;
        AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                   reinterpret_cast<void**>(&found));
        object = ComPtr<IAccessible>(found);
    }
    static VARIANT Self() {
        VARIANT self{};
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        return self;
    }
    template <typename Read> std::wstring Text(Read read) const {
        BSTR text = nullptr;
        if ((object.get()->*read)(Self(), &text) != S_OK || text == nullptr) {
            return {};
        }
        const ComString owned(text);
        return owned.get();
    }
    std::wstring Name() const { return Text(&IAccessible::get_accName); }
    std::wstring Value() const { return Text(&IAccessible::get_accValue); }
    // Role or state; -1 when it answers none.
    template <typename Read> LONG Number(Read read) const {
        VARIANT answer{};
        return (object.get()->*read)(Self(), &answer) == S_OK && answer.vt == VT_I4 ? answer.lVal
                                                                                    : -1;
    }
    LONG Role() const { return Number(&IAccessible::get_accRole); }
    LONG State() const { return Number(&IAccessible::get_accState); }
};

// The accessibility events of one kind that this process raises while the object lives,
// as the message loop delivers them.
class WinEvents {
  public:
    struct Event {
        HWND window;
        LONG object;
        LONG child;
        bool operator==(const Event&) const = default;
    };

    explicit WinEvents(DWORD kind) {
        current_ = this;
        hook_ = SetWinEventHook(kind, kind, nullptr, &Raised, GetCurrentProcessId(), 0,
                                WINEVENT_OUTOFCONTEXT);
    }
    ~WinEvents() {
        UnhookWinEvent(hook_);
        current_ = nullptr;
    }
    WinEvents(const WinEvents&) = delete;
    WinEvents& operator=(const WinEvents&) = delete;

    bool Hooked() const { return hook_ != nullptr; }
    // Those delivered so far, the queue's included.
    const std::vector<Event>& Seen() {
        Pump(50);
        return events_;
    }
    void Clear() {
        Pump(50);
        events_.clear();
    }

  private:
    static void CALLBACK Raised(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD,
                                DWORD) {
        if (current_ != nullptr) {
            current_->events_.push_back({window, object, child});
        }
    }

    // The hook procedure has no context of its own; one recorder at a time.
    static inline WinEvents* current_ = nullptr;
    HWINEVENTHOOK hook_ = nullptr;
    std::vector<Event> events_;
};

// The user's short time format without seconds, as the system gives it.
inline std::wstring SystemShortTime(int hour, int minute) {
    SYSTEMTIME time{};
    time.wYear = 2024;
    time.wMonth = 3;
    time.wDay = 1;
    time.wHour = static_cast<WORD>(hour);
    time.wMinute = static_cast<WORD>(minute);
    wchar_t text[64] = {};
    GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &time, nullptr, text, 64);
    return text;
}

} // namespace lumivane::testing_support
