#pragma once
// Owners for the Win32 handles of the program: each releases its handle on every
// path out of the scope that made it, so no handler needs a cleanup path.
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include "core/owned.h"

namespace lumivane::windows {

// A GDI object (bitmap, region, brush, font ...).
template <typename Handle> using GdiObject = Owned<Handle, &DeleteObject>;
// A memory device context made with CreateCompatibleDC.
using MemoryDC = Owned<HDC, &DeleteDC>;
using MenuHandle = Owned<HMENU, &DestroyMenu>;
using RegistryKey = Owned<HKEY, &RegCloseKey>;
// A kernel object (a file, an event ...).
using KernelHandle = Owned<HANDLE, &CloseHandle>;

// CreateFileW's answer as a handle: its failure, INVALID_HANDLE_VALUE, is empty.
inline KernelHandle FileHandle(HANDLE file) {
    return KernelHandle(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

// A reference to a COM object, released when it goes.
inline void ReleaseReference(IUnknown* object) {
    object->Release();
}
template <typename Interface> using ComPtr = Owned<Interface*, &ReleaseReference>;
// A string COM allocated for the caller (SysAllocString).
using ComString = Owned<BSTR, &SysFreeString>;
// This thread in a single-threaded COM apartment (CoInitializeEx), left when it goes;
// a thread that could not enter is not made to leave.
inline void LeaveApartment(HRESULT entered) {
    if (SUCCEEDED(entered)) {
        CoUninitialize();
    }
}
using ComApartment = Owned<HRESULT, &LeaveApartment, std::nullptr_t, E_FAIL>;
inline ComApartment EnterApartment() {
    return ComApartment(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
}

// A device context that `Get` lends for a window and ReleaseDC takes back.
template <auto Get> struct LentDC : Owned<HDC, &ReleaseDC, HWND> {
    LentDC() = default;
    explicit LentDC(HWND window) : Owned(window, Get(window)) {}
};
// The client area's DC (GetDC), or the whole screen's for nullptr.
using ClientDC = LentDC<&GetDC>;
// The whole window's DC, frame included (GetWindowDC).
using WindowDC = LentDC<&GetWindowDC>;

// An object selected into a device context; the object that was selected before
// goes back in when the selection ends. Empty when SelectObject refused the object.
struct Selection : Owned<HGDIOBJ, &SelectObject, HDC> {
    Selection() = default;
    Selection(HDC dc, HGDIOBJ object) : Owned(dc, SelectObject(dc, object)) {}
};

// A stretch mode set on a device context for one drawing; the previous mode comes
// back when it ends, also when the drawing failed.
struct StretchMode : Owned<int, &SetStretchBltMode, HDC> {
    StretchMode(HDC dc, int mode) : Owned(dc, SetStretchBltMode(dc, mode)) {}
};

// The device context of a WM_PAINT: BeginPaint here, EndPaint when it goes.
class PaintDC {
  public:
    explicit PaintDC(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
    ~PaintDC() { EndPaint(window_, &paint_); }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;

    HDC get() const { return dc_; }

  private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

} // namespace lumivane::windows
