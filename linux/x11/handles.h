#pragma once
// Owners of the X and cairo resources the Linux program holds: each frees its resource
// on every path, so no handler has a clean-up path of its own.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <cairo.h>
#include <glib.h>

#include <cstddef>
#include <memory>

namespace lumivane::x11 {

struct XFreeDeleter {
    void operator()(void* data) const {
        if (data != nullptr) {
            XFree(data);
        }
    }
};
// Memory Xlib handed out (XQueryTree's children, XShapeGetRectangles' rectangles).
template <class T> using XMemory = std::unique_ptr<T, XFreeDeleter>;

// An XImage whose pixels it may or may not own: with `ownsData` false the pixels are
// someone else's (a shared-memory segment, a vector) and only the header is freed.
class Image {
  public:
    Image() = default;
    Image(XImage* image, bool ownsData) : image_(image), ownsData_(ownsData) {}
    ~Image() { Reset(); }
    Image(Image&& other) noexcept : image_(other.image_), ownsData_(other.ownsData_) {
        other.image_ = nullptr;
    }
    Image& operator=(Image&& other) noexcept;
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    XImage* get() const { return image_; }
    XImage* operator->() const { return image_; }
    explicit operator bool() const { return image_ != nullptr; }
    void Reset();

  private:
    XImage* image_ = nullptr;
    bool ownsData_ = true;
};

// A shared-memory segment attached to the process and to the X server (MIT-SHM).
class SharedMemory {
  public:
    // Nothing when the server cannot share memory with this process (a remote display).
    static std::unique_ptr<SharedMemory> Attach(::Display* display, size_t bytes);
    ~SharedMemory();
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;

    XShmSegmentInfo* Info() { return &info_; }
    char* Data() const { return info_.shmaddr; }
    size_t Size() const { return size_; }

  private:
    SharedMemory(::Display* display, size_t size) : display_(display), size_(size) {}
    ::Display* display_;
    size_t size_;
    XShmSegmentInfo info_{};
    bool attached_ = false;
};

struct RegionDeleter {
    void operator()(cairo_region_t* region) const { cairo_region_destroy(region); }
};
using Region = std::unique_ptr<cairo_region_t, RegionDeleter>;

inline Region MakeRegion(const cairo_rectangle_int_t& rectangle) {
    return Region(cairo_region_create_rectangle(&rectangle));
}

struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

struct GcDeleter {
    ::Display* display = nullptr;
    void operator()(GC gc) const { XFreeGC(display, gc); }
};
using GraphicsContext = std::unique_ptr<std::remove_pointer_t<GC>, GcDeleter>;

// A GLib main-loop source (a timeout), removed when the owner lets it go.
class Source {
  public:
    Source() = default;
    explicit Source(guint id) : id_(id) {}
    ~Source() { Reset(); }
    Source(Source&& other) noexcept : id_(other.id_) { other.id_ = 0; }
    Source& operator=(Source&& other) noexcept;
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;
    explicit operator bool() const { return id_ != 0; }
    void Reset();

  private:
    guint id_ = 0;
};

} // namespace lumivane::x11
