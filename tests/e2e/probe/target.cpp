// lumivane_target: a plain window beneath the clock that tells whether clicks
// reach it. Usage: lumivane_target LEFT TOP WIDTH HEIGHT [--foreground]. It opens a
// borderless window, filled with one flat colour, whose client area is exactly that
// screen rectangle, prints "ready HWND" once it is shown, and then one line per mouse
// button press it receives: "press left|right|middle X Y" in screen
// coordinates. Every line is flushed at once, so a test can read the output
// file while the window runs. It runs until it is killed or closed.
//
// Without a window manager, Wine stacks X windows in the order they were mapped,
// whatever their topmost flag: start it before the clock to have it beneath.
// With --foreground it is a program's window as the user brings it up instead: it
// takes the foreground (over a whole monitor, it stands for a full-screen program).
#include <windows.h>

#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <stdexcept>
#include <type_traits>

namespace {

constexpr const wchar_t* kClassName = L"LumivaneTarget";
constexpr const wchar_t* kTitle = L"Lumivane target";
// A light, even colour: a dome darkened over it is nowhere black, so the clock
// above shows no transparent pixel by accident.
constexpr COLORREF kFill = RGB(200, 170, 90);

void Report(const char* button, HWND window, LPARAM lParam) {
    POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    ClientToScreen(window, &at);
    std::printf("press %s %ld %ld\n", button, static_cast<long>(at.x), static_cast<long>(at.y));
    std::fflush(stdout);
}

bool foreground = false;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_MOUSEACTIVATE:
        // Without a window manager Wine raises an activated window to the top
        // of the X stack, over the topmost clock; a click must leave it below.
        return foreground ? DefWindowProcW(window, message, wParam, lParam) : MA_NOACTIVATE;
    case WM_LBUTTONDOWN:
        Report("left", window, lParam);
        return 0;
    case WM_RBUTTONDOWN:
        Report("right", window, lParam);
        return 0;
    case WM_MBUTTONDOWN:
        Report("middle", window, lParam);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

struct BrushDeleter {
    void operator()(HBRUSH brush) const { DeleteObject(brush); }
};

long Number(const wchar_t* text) {
    wchar_t* end = nullptr;
    const long value = std::wcstol(text, &end, 10);
    if (end == text || *end != L'\0')
        throw std::invalid_argument("not a number");
    return value;
}

} // namespace

int main() {
    int count = 0;
    const std::unique_ptr<LPWSTR, decltype(&LocalFree)> argv(
        CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
    constexpr const char* kUsage = "usage: lumivane_target LEFT TOP WIDTH HEIGHT [--foreground]\n";
    if (argv && count == 6 && std::wcscmp(argv.get()[5], L"--foreground") == 0) {
        foreground = true;
        --count;
    }
    if (!argv || count != 5) {
        std::printf("%s", kUsage);
        return 2;
    }
    long rect[4] = {};
    try {
        for (int i = 0; i < 4; ++i)
            rect[i] = Number(argv.get()[i + 1]);
    } catch (const std::invalid_argument&) {
        std::printf("%s", kUsage);
        return 2;
    }

    const std::unique_ptr<std::remove_pointer_t<HBRUSH>, BrushDeleter> fill(
        CreateSolidBrush(kFill));
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = fill.get();
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassW(&windowClass)) {
        std::printf("error cannot register the window class\n");
        return 1;
    }
    // A popup window has neither border nor caption: its client area is the
    // whole window, at exactly the rectangle asked for.
    HWND window = CreateWindowExW(foreground ? 0 : WS_EX_NOACTIVATE, kClassName, kTitle, WS_POPUP,
                                  rect[0], rect[1], rect[2], rect[3], nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
    if (!window) {
        std::printf("error cannot create the window\n");
        return 1;
    }
    ShowWindow(window, foreground ? SW_SHOW : SW_SHOWNOACTIVATE);
    if (foreground)
        SetForegroundWindow(window);
    UpdateWindow(window);
    std::printf("ready %llu\n",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
    std::fflush(stdout);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
