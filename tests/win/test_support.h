#pragma once
// What the settings tests share: a registry key of their own, a clock state as
// start-up leaves it, a tray that records instead of reaching the shell, and a
// message pump with a deadline.
#include "clock_window/clock_state.h"

#include "settings/win/settings_window.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lumivane::testing_support {

// The display the tests run on (Xvfb's screen).
inline Display RealDisplay() {
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

// HKEY_CURRENT_USER\Software\LumivaneTest\<suite>.<test>, absent before and after the test.
class TestKey {
  public:
    TestKey() {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        relative_ =
            std::string("Software\\LumivaneTest\\") + test->test_suite_name() + "." + test->name();
        Delete();
    }
    ~TestKey() {
        Delete();
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\LumivaneTest"); // only when empty
    }
    TestKey(const TestKey&) = delete;
    TestKey& operator=(const TestKey&) = delete;

    // The path in the program's form, with the leading backslash.
    std::string Path() const { return "\\" + relative_; }
    const std::string& Relative() const { return relative_; }

    bool Exists() const {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, relative_.c_str(), 0, KEY_READ, &key) !=
            ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        return true;
    }

    // The value as a REG_DWORD; nothing when it is absent or of another type.
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

    void WriteRaw(const char* name, DWORD type, const void* data, DWORD size) const {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, relative_.c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    void Write(const char* name, int32_t value) const {
        const DWORD data = static_cast<DWORD>(value);
        WriteRaw(name, REG_DWORD, &data, sizeof data);
    }

  private:
    void Delete() const { RegDeleteTreeA(HKEY_CURRENT_USER, relative_.c_str()); }

    std::string relative_;
};

// A clock state as start-up leaves it: first-start defaults, then `adjust` (the
// values a load would have brought), then everything derived from them.
inline std::unique_ptr<ClockState>
StartedState(Display display, const std::function<void(ClockState&)>& adjust = {}) {
    auto state = std::make_unique<ClockState>();
    ApplyFirstStartDefaults(*state, display);
    state->StartCount = 2;
    if (adjust) {
        adjust(*state);
    }
    DeriveStartupState(*state, display, [] { return std::make_unique<TDIB>(); });
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

// Platform services for a form under test: the real display unless one is given,
// and the tray recorded in `log`.
inline TForm2::Platform RecordingPlatform(const std::shared_ptr<TrayLog>& log,
                                          std::function<Display()> display = RealDisplay) {
    TForm2::Platform platform;
    platform.displaySize = std::move(display);
    platform.notifyIcon = [log](DWORD action, NOTIFYICONDATAA* record) {
        const BOOL result = log->passToShell ? Shell_NotifyIconA(action, record) : log->result;
        log->calls.push_back({action, *record, result});
        return result;
    };
    return platform;
}

// Dispatches messages until `done` holds or `limitMs` has passed; true when done.
inline bool PumpUntil(const std::function<bool()>& done, DWORD limitMs) {
    const ULONGLONG deadline = GetTickCount64() + limitMs;
    while (!done()) {
        if (GetTickCount64() >= deadline) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return true;
}

// Takes the queued messages of `window` off this thread's queue, dispatching all
// but those of kind `message`; how many of that kind there were. (A filter of
// 0..0 would mean every message, so WM_NULL is picked out by hand.)
inline int TakePosted(HWND window, UINT message) {
    int count = 0;
    MSG taken;
    while (PeekMessageW(&taken, window, 0, 0, PM_REMOVE)) {
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

inline std::string WindowText(HWND window) {
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

} // namespace lumivane::testing_support
