#pragma once
// Owners for the Win32 handles of the program: each releases its handle on every
// path out of the scope that made it, so no handler needs a cleanup path.
#include <windows.h>

#include <utility>

namespace lumivane {

// A handle that `Release` gives back to the system when the owner goes.
template <typename Handle, auto Release> class Owned {
  public:
    Owned() = default;
    explicit Owned(Handle handle) : handle_(handle) {}
    ~Owned() { reset(); }
    Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.handle_, nullptr));
        }
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    // Gives the handle up, for calls after which the system owns it (SetWindowRgn).
    Handle release() { return std::exchange(handle_, nullptr); }
    void reset(Handle handle = nullptr) {
        if (handle_ != nullptr) {
            Release(handle_);
        }
        handle_ = handle;
    }

  private:
    Handle handle_ = nullptr;
};

// A GDI object (bitmap, region, brush, font ...).
template <typename Handle> using GdiObject = Owned<Handle, &DeleteObject>;
// A memory device context made with CreateCompatibleDC.
using MemoryDC = Owned<HDC, &DeleteDC>;
using MenuHandle = Owned<HMENU, &DestroyMenu>;
using RegistryKey = Owned<HKEY, &RegCloseKey>;

// A device context that `Get` lends for a window and ReleaseDC takes back.
template <auto Get> class LentDC {
  public:
    LentDC() = default;
    explicit LentDC(HWND window) : window_(window), dc_(Get(window)) {}
    ~LentDC() { Reset(); }
    LentDC(LentDC&& other) noexcept
        : window_(other.window_), dc_(std::exchange(other.dc_, nullptr)) {}
    LentDC& operator=(LentDC&& other) noexcept {
        if (this != &other) {
            Reset();
            window_ = other.window_;
            dc_ = std::exchange(other.dc_, nullptr);
        }
        return *this;
    }
    LentDC(const LentDC&) = delete;
    LentDC& operator=(const LentDC&) = delete;

    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

  private:
    void Reset() {
        if (dc_ != nullptr) {
            ReleaseDC(window_, dc_);
            dc_ = nullptr;
        }
    }

    HWND window_ = nullptr;
    HDC dc_ = nullptr;
};

// The client area's DC (GetDC), or the whole screen's for nullptr.
using ClientDC = LentDC<&GetDC>;
// The whole window's DC, frame included (GetWindowDC).
using WindowDC = LentDC<&GetWindowDC>;

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

// An object selected into a device context; the object that was selected before
// goes back in when the selection ends.
class Selection {
  public:
    Selection() = default;
    Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~Selection() { Reset(); }
    Selection(Selection&& other) noexcept
        : dc_(std::exchange(other.dc_, nullptr)),
          previous_(std::exchange(other.previous_, nullptr)) {}
    Selection& operator=(Selection&& other) noexcept {
        if (this != &other) {
            Reset();
            dc_ = std::exchange(other.dc_, nullptr);
            previous_ = std::exchange(other.previous_, nullptr);
        }
        return *this;
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

    // False when SelectObject refused the object.
    explicit operator bool() const { return previous_ != nullptr && previous_ != HGDI_ERROR; }

  private:
    void Reset() {
        if (*this) {
            SelectObject(dc_, previous_);
        }
        dc_ = nullptr;
        previous_ = nullptr;
    }

    HDC dc_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

// A stretch mode set on a device context for one drawing; the previous mode comes
// back when it ends, also when the drawing failed.
class StretchMode {
  public:
    StretchMode(HDC dc, int mode) : dc_(dc), previous_(SetStretchBltMode(dc, mode)) {}
    ~StretchMode() {
        if (previous_ != 0) {
            SetStretchBltMode(dc_, previous_);
        }
    }
    StretchMode(const StretchMode&) = delete;
    StretchMode& operator=(const StretchMode&) = delete;

  private:
    HDC dc_;
    int previous_;
};

} // namespace lumivane
