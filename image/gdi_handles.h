#pragma once
// Owners for the GDI handles of the program: each releases its handle on every
// path out of the scope that made it, so no handler needs a cleanup path.
#include <windows.h>

#include <utility>

namespace lumivane {

// A device context obtained with GetDC (of a window, or of the whole screen for
// nullptr); ReleaseDC when it goes.
class WindowDC {
  public:
    WindowDC() = default;
    explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDC() { Reset(); }
    WindowDC(WindowDC&& other) noexcept
        : window_(other.window_), dc_(std::exchange(other.dc_, nullptr)) {}
    WindowDC& operator=(WindowDC&& other) noexcept {
        if (this != &other) {
            Reset();
            window_ = other.window_;
            dc_ = std::exchange(other.dc_, nullptr);
        }
        return *this;
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;

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

// A memory device context made with CreateCompatibleDC; DeleteDC when it goes.
class MemoryDC {
  public:
    MemoryDC() = default;
    explicit MemoryDC(HDC compatibleWith) : dc_(CreateCompatibleDC(compatibleWith)) {}
    ~MemoryDC() { Reset(); }
    MemoryDC(MemoryDC&& other) noexcept : dc_(std::exchange(other.dc_, nullptr)) {}
    MemoryDC& operator=(MemoryDC&& other) noexcept {
        if (this != &other) {
            Reset();
            dc_ = std::exchange(other.dc_, nullptr);
        }
        return *this;
    }
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;

    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

  private:
    void Reset() {
        if (dc_ != nullptr) {
            DeleteDC(dc_);
            dc_ = nullptr;
        }
    }

    HDC dc_ = nullptr;
};

// A GDI object (bitmap, region, brush ...) that DeleteObject releases.
template <typename Handle> class GdiObject {
  public:
    GdiObject() = default;
    explicit GdiObject(Handle object) : object_(object) {}
    ~GdiObject() { Reset(); }
    GdiObject(GdiObject&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    GdiObject& operator=(GdiObject&& other) noexcept {
        if (this != &other) {
            Reset();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    Handle get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    // Gives the object up, for calls after which the system owns it (SetWindowRgn).
    Handle release() { return std::exchange(object_, nullptr); }

  private:
    void Reset() {
        if (object_ != nullptr) {
            DeleteObject(object_);
            object_ = nullptr;
        }
    }

    Handle object_ = nullptr;
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
        if (dc_ != nullptr && previous_ != nullptr && previous_ != HGDI_ERROR) {
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
