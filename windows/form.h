#pragma once
// TForm: the small window framework both windows stand on. One trampoline per
// window class finds the C++ object and forwards the message; an error that
// leaves a handler goes to the form's ReportError.
#include <windows.h>

#include <string>

#include "windows/text.h"

namespace lumivane::windows {

// The program's icon; the system's application icon for a program without one (the tests).
HICON ProgramIcon();

// What CreateHandle registers and creates.
struct WindowParams {
    const wchar_t* className = nullptr;
    HICON icon = nullptr;
    DWORD exStyle = 0;
    DWORD style = 0;
    const wchar_t* caption = L"";
    int x = CW_USEDEFAULT;
    int y = CW_USEDEFAULT;
    int width = CW_USEDEFAULT;
    int height = CW_USEDEFAULT;
};

class TForm {
  public:
    TForm() = default;
    virtual ~TForm();
    TForm(const TForm&) = delete;
    TForm& operator=(const TForm&) = delete;

    HWND Handle() const { return handle_; }
    RECT WindowRect() const;
    // Moves the window's top-left corner to (left, top) on the screen.
    void MoveTo(int left, int top) const;
    // Closes the window as the system would, when it is still there.
    void Close();

    // Runs the program's message loop until WM_QUIT; returns the quit code.
    static int RunMessageLoop();
    // Passes one message on as the loop does: a key pressed in a form goes to
    // the form's keyboard handling first.
    static void ProcessMessage(const MSG& message);

  protected:
    // Registers the class (once per name) and creates the window; throws Error when
    // it cannot be made. The object must outlive the window.
    void CreateHandle(const WindowParams& params);
    // Sizes the window so that its client area is width x height, whatever its frame.
    void SetClientSize(int width, int height) const;

    // An error that left a handler (the clock's life decides how the user hears of it).
    virtual void ReportError(const char* message) = 0;

    // The message switch of the derived window. Return true when handled, with the
    // result in `result`; false passes the message to the default procedure.
    virtual bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;

    // A key pressed in the window or one of its controls, before it is translated
    // and dispatched; true when the form has taken it.
    virtual bool PreviewKey(const MSG& /*message*/) { return false; }

  private:
    static LRESULT CALLBACK Trampoline(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND handle_ = nullptr;
};

} // namespace lumivane::windows
