#include "windows/form.h"

#include "core/controller/facts.h"
#include "core/error.h"

namespace lumivane::windows {

TForm::~TForm() {
    if (handle_ != nullptr) {
        SetWindowLongPtrW(handle_, GWLP_USERDATA, 0);
        DestroyWindow(handle_);
    }
}

HICON ProgramIcon() {
    if (HICON icon = LoadIconW(GetModuleHandleW(nullptr), L"MAINICON")) {
        return icon;
    }
    return LoadIconW(nullptr, IDI_APPLICATION);
}

RECT TForm::WindowRect() const {
    RECT rect{};
    GetWindowRect(handle_, &rect);
    return rect;
}

void TForm::MoveTo(int left, int top) const {
    SetWindowPos(handle_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::SetClientSize(int width, int height) const {
    const RECT window = WindowRect();
    RECT client{};
    GetClientRect(handle_, &client);
    SetWindowPos(handle_, nullptr, 0, 0, width + (window.right - window.left) - client.right,
                 height + (window.bottom - window.top) - client.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::Close() {
    if (handle_ != nullptr) {
        SendMessageW(handle_, WM_CLOSE, 0, 0);
    }
}

int TForm::RunMessageLoop() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        ProcessMessage(message);
    }
    return static_cast<int>(message.wParam);
}

void TForm::ProcessMessage(const MSG& message) {
    if (message.message == WM_KEYDOWN) {
        // The form the key was pressed in: the top-level window, if it is one of ours.
        HWND root = GetAncestor(message.hwnd, GA_ROOT);
        if (root != nullptr && GetWindowLongPtrW(root, GWLP_WNDPROC) ==
                                   reinterpret_cast<LONG_PTR>(&TForm::Trampoline)) {
            auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrW(root, GWLP_USERDATA));
            if (form != nullptr && form->PreviewKey(message)) {
                return;
            }
        }
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

void TForm::CreateHandle(const WindowParams& params) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (!GetClassInfoExW(instance, params.className, &existing)) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &TForm::Trampoline;
        windowClass.hInstance = instance;
        windowClass.hIcon = params.icon;
        windowClass.hIconSm = params.icon;
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.lpszClassName = params.className;
        // A class that cannot be registered leaves the window uncreated: reported below.
        if (RegisterClassExW(&windowClass) == 0) {
            OutputDebugStringA("Lumivane: a window class could not be registered\n");
        }
    }
    handle_ =
        CreateWindowExW(params.exStyle, params.className, params.caption, params.style, params.x,
                        params.y, params.width, params.height, nullptr, nullptr, instance, this);
    if (handle_ == nullptr) {
        throw Error(FormatText(kCannotBeMade, "Window"));
    }
}

LRESULT CALLBACK TForm::Trampoline(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* form = static_cast<TForm*>(create->lpCreateParams);
        form->handle_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        // The window is gone (closed by the user or the system): the object must
        // not destroy it a second time.
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        form->handle_ = nullptr;
    }
    try {
        LRESULT result = 0;
        if (form->HandleMessage(message, wParam, lParam, result)) {
            return result;
        }
    } catch (const std::exception& error) {
        // The one place where an error that left a handler reaches the user.
        form->ReportError(error.what());
        return 0;
    } catch (...) {
        // Nothing may unwind into the system's code that called the procedure.
        form->ReportError(kUnexpectedError);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace lumivane::windows
