#include "linux/x11/window_surface.h"

#include <X11/extensions/shape.h>
#include <gdk/gdkx.h>

#include <cstring>

#include "linux/x11/pixels.h"

namespace lumivane::x11 {

WindowSurface::WindowSurface(GdkDisplay* display, Window window)
    : display_(gdk_x11_display_get_xdisplay(display)), window_(window),
      gc_(display_, XCreateGC(display_, window, 0, nullptr)) {
    XWindowAttributes attributes{};
    XGetWindowAttributes(display_, window_, &attributes);
    visual_ = attributes.visual;
    depth_ = attributes.depth;
    // Nothing shows until the first frame.
    Hide();
}

bool WindowSurface::PrepareImage(int32_t width, int32_t height) {
    if (image_ && image_->width == width && image_->height == height) {
        return false;
    }
    painted_.reset();
    image_.reset();
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    if (!shared_ || shared_->Size() < bytes) {
        shared_.reset();
        shared_ = x11::SharedMemory::Attach(display_, bytes);
    }
    if (shared_) {
        image_ = x11::Image(false, XShmCreateImage(display_, visual_, static_cast<unsigned>(depth_),
                                                   ZPixmap, shared_->Data(), shared_->Info(),
                                                   static_cast<unsigned>(width),
                                                   static_cast<unsigned>(height)));
        if (image_ && static_cast<size_t>(image_->bytes_per_line) * height > shared_->Size()) {
            image_.reset();
        }
    }
    if (!image_) {
        shared_.reset();
        image_ = x11::Image(false, XCreateImage(display_, visual_, static_cast<unsigned>(depth_),
                                                ZPixmap, 0, nullptr, static_cast<unsigned>(width),
                                                static_cast<unsigned>(height), 32, 0));
        if (!image_) {
            return true;
        }
        plain_.assign(static_cast<size_t>(image_->bytes_per_line) * height / 4 + 1, 0);
        image_->data = reinterpret_cast<char*>(plain_.data());
    }
    if (image_->bits_per_pixel == 32 && image_->byte_order == LSBFirst &&
        image_->red_mask == 0xFF0000 && image_->green_mask == 0xFF00 && image_->blue_mask == 0xFF) {
        painted_.reset(cairo_image_surface_create_for_data(
            reinterpret_cast<unsigned char*>(image_->data),
            depth_ == 32 ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, width, height,
            image_->bytes_per_line));
    }
    return true;
}

void WindowSurface::Present(TDIB& frame, const ArgbImage* picture, const std::vector<uint8_t>& grab,
                            std::span<const Rect> parts) {
    if (frame.Empty()) {
        return;
    }
    const bool fresh = PrepareImage(frame.Width(), frame.Height());
    const bool seeThrough = picture != nullptr && depth_ == 32; // an alpha channel
    if (!image_ || (seeThrough && image_->bits_per_pixel != 32)) {
        return;
    }
    // After a hide, or in a new image, the whole frame: nothing of it shows yet.
    const Rect whole{0, 0, frame.Width(), frame.Height()};
    if (hidden_ || fresh) {
        parts = {&whole, 1};
    }
    if (parts.empty()) {
        return;
    }
    if (painted_) {
        cairo_surface_flush(painted_.get());
    }
    for (const Rect& part : parts) {
        if (!seeThrough) {
            x11::CopyFromBuffer(frame, *image_.get(), part);
            continue;
        }
        for (int32_t y = part.top; y < part.bottom; ++y) {
            std::memcpy(image_->data + static_cast<ptrdiff_t>(y) * image_->bytes_per_line +
                            4 * static_cast<ptrdiff_t>(part.left),
                        &picture->pixels[static_cast<size_t>(y) * picture->width + part.left],
                        static_cast<size_t>(part.Width()) * 4);
        }
    }
    if (painted_) {
        cairo_surface_mark_dirty(painted_.get());
    }
    // The shape first: a window that grows shows its new pixels with the same frame. The
    // visible pixels change seldom (over black), and a new bounding shape exposes what it
    // adds; the hands' pixels change with the time, only in the parts drawn. A translucent
    // window has no bounding shape (XWayland would draw it as an opaque rectangle): its
    // alpha shows what lies beneath.
    if (seeThrough && hidden_) {
        XShapeCombineMask(display_, window_, ShapeBounding, 0, 0, None, ShapeSet);
    } else if (!seeThrough && VisibilityChanged(frame, parts)) {
        VisibleRuns(frame, nullptr, runs_);
        Shape(ShapeBounding, runs_, boundingShown_);
    }
    if (parts.data() == &whole) {
        VisibleRuns(frame, &grab, runs_);
        Shape(ShapeInput, runs_, inputShown_);
    } else {
        for (const Rect& part : parts) {
            const XRectangle area{static_cast<short>(part.left), static_cast<short>(part.top),
                                  static_cast<unsigned short>(part.Width()),
                                  static_cast<unsigned short>(part.Height())};
            XShapeCombineRectangles(display_, window_, ShapeInput, 0, 0,
                                    const_cast<XRectangle*>(&area), 1, ShapeSubtract, Unsorted);
            VisibleRuns(frame, &grab, runs_, &part);
            Combine(ShapeInput, runs_, ShapeUnion);
        }
    }
    hidden_ = false;
    PutImage(parts);
}

void WindowSurface::PutImage(std::span<const Rect> parts) {
    for (const Rect& part : parts) {
        const auto width = static_cast<unsigned>(part.Width());
        const auto height = static_cast<unsigned>(part.Height());
        if (shared_) {
            XShmPutImage(display_, window_, gc_.get(), image_.get(), part.left, part.top, part.left,
                         part.top, width, height, False);
        } else {
            XPutImage(display_, window_, gc_.get(), image_.get(), part.left, part.top, part.left,
                      part.top, width, height);
        }
    }
    // The pixels are read from shared memory while the server runs the request; the
    // next frame must not overwrite them before.
    XSync(display_, False);
}

bool WindowSurface::VisibilityChanged(TDIB& frame, std::span<const Rect> parts) {
    const size_t width = static_cast<size_t>(frame.Width());
    const size_t pixels = width * static_cast<size_t>(frame.Height());
    bool changed = hidden_ || visible_.size() != pixels;
    visible_.resize(pixels);
    for (const Rect& part : parts) {
        for (int32_t y = part.top; y < part.bottom; ++y) {
            const uint8_t* pixel = frame.Row(y) + 3 * static_cast<ptrdiff_t>(part.left);
            uint8_t* visible = visible_.data() + static_cast<size_t>(y) * width + part.left;
            for (int32_t x = part.left; x < part.right; ++x, pixel += 3, ++visible) {
                const uint8_t now = (pixel[0] | pixel[1] | pixel[2]) != 0;
                changed |= now != *visible;
                *visible = now;
            }
        }
    }
    return changed;
}

void WindowSurface::Shape(int kind, const std::vector<PixelRun>& runs,
                          std::vector<PixelRun>& shown) {
    if (!hidden_ && runs == shown) {
        return;
    }
    Combine(kind, runs, ShapeSet);
    shown = runs;
}

void WindowSurface::Combine(int kind, const std::vector<PixelRun>& runs, int operation) {
    rectangles_.clear();
    for (const PixelRun& run : runs) {
        rectangles_.push_back({static_cast<short>(run.x), static_cast<short>(run.y),
                               static_cast<unsigned short>(run.width), 1});
    }
    XShapeCombineRectangles(display_, window_, kind, 0, 0, rectangles_.data(),
                            static_cast<int>(rectangles_.size()), operation, YXBanded);
}

void WindowSurface::Hide() {
    XShapeCombineRectangles(display_, window_, ShapeBounding, 0, 0, nullptr, 0, ShapeSet, YXBanded);
    XShapeCombineRectangles(display_, window_, ShapeInput, 0, 0, nullptr, 0, ShapeSet, YXBanded);
    boundingShown_.clear();
    inputShown_.clear();
    hidden_ = true;
    XFlush(display_);
}

void WindowSurface::Paint(cairo_t* cairo) const {
    if (painted_) {
        cairo_set_operator(cairo, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_surface(cairo, painted_.get(), 0, 0);
        cairo_paint(cairo);
    }
}

} // namespace lumivane::x11
