#pragma once
// The primary display's size, as both windows ask for it, and a window's DPI.
#include <windows.h>

#include "core/geometry.h"
#include "windows/handles.h"

namespace lumivane {

inline Display PrimaryDisplay() {
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

// The DPI of the monitor a window is on; before Windows 10, where the call is
// missing, the system's.
inline UINT WindowDpi(HWND window) {
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

} // namespace lumivane
