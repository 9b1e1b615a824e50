#pragma once
// What the X and cairo libraries hand the Linux program, held by Owned (core/owned.h) so
// that each is freed on every path and no handler has a clean-up path of its own.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <cairo.h>

#include <cstddef>
#include <memory>

#include "core/owned.h"

namespace lumivane::x11 {

template <class T> void FreeX(T* data) {
    XFree(data);
}
// Memory Xlib handed out (XQueryTree's children, XShapeGetRectangles' rectangles).
template <class T> using XMemory = Owned<T*, &FreeX<T>>;

// Frees the XImage; with `ownsData` false its pixels are someone else's (a shared-memory
// segment, a vector) and only the header goes.
void DestroyImage(bool ownsData, XImage* image);
using Image = Owned<XImage*, &DestroyImage, bool>;

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

using Region = Owned<cairo_region_t*, &cairo_region_destroy>;

inline Region MakeRegion(const cairo_rectangle_int_t& rectangle) {
    return Region(cairo_region_create_rectangle(&rectangle));
}

using Surface = Owned<cairo_surface_t*, &cairo_surface_destroy>;
using GraphicsContext = Owned<GC, &XFreeGC, ::Display*>;

} // namespace lumivane::x11
