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

// A value that goes back to its context by `GiveBack(context, value)` when the owner
// goes: a device context lent for a window, or the object or mode that a change
// replaced. An empty value (the call that gave it failed) is not given back.
template <typename Context, typename Value, auto GiveBack> class GivenBack {
  public:
    GivenBack() = default;
    GivenBack(Context context, Value value) : context_(context), value_(value) {}
    ~GivenBack() { Reset(); }
    GivenBack(GivenBack&& other) noexcept
        : context_(other.context_), value_(std::exchange(other.value_, Value{})) {}
    GivenBack& operator=(GivenBack&& other) noexcept {
        if (this != &other) {
            Reset();
            context_ = other.context_;
            value_ = std::exchange(other.value_, Value{});
        }
        return *this;
    }
    GivenBack(const GivenBack&) = delete;
    GivenBack& operator=(const GivenBack&) = delete;

    Value get() const { return value_; }
    explicit operator bool() const { return value_ != Value{}; }

  private:
    void Reset() {
        if (*this) {
            GiveBack(context_, value_);
        }
        value_ = Value{};
    }

    Context context_{};
    Value value_{};
};

// A device context that `Get` lends for a window and ReleaseDC takes back.
template <auto Get> struct LentDC : GivenBack<HWND, HDC, &ReleaseDC> {
    LentDC() = default;
    explicit LentDC(HWND window) : GivenBack(window, Get(window)) {}
};
// The client area's DC (GetDC), or the whole screen's for nullptr.
using ClientDC = LentDC<&GetDC>;
// The whole window's DC, frame included (GetWindowDC).
using WindowDC = LentDC<&GetWindowDC>;

// An object selected into a device context; the object that was selected before
// goes back in when the selection ends. Empty when SelectObject refused the object.
struct Selection : GivenBack<HDC, HGDIOBJ, &SelectObject> {
    Selection() = default;
    Selection(HDC dc, HGDIOBJ object) : GivenBack(dc, SelectObject(dc, object)) {}
};

// A stretch mode set on a device context for one drawing; the previous mode comes
// back when it ends, also when the drawing failed.
struct StretchMode : GivenBack<HDC, int, &SetStretchBltMode> {
    StretchMode(HDC dc, int mode) : GivenBack(dc, SetStretchBltMode(dc, mode)) {}
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

} // namespace lumivane
