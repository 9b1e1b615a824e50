#pragma once
// The clock window's pixels and shape on the X server. The frame goes to the window as
// one image (through shared memory where the server allows it); the window's bounding
// shape is its visible pixels, so black ones show what lies beneath with or without a
// compositing manager, and its input shape is the visible pixels of the hands, so a
// press elsewhere reaches the window below.
#include <X11/Xlib.h>
#include <cairo.h>
#include <gdk/gdk.h>

#include <memory>
#include <span>
#include <vector>

#include "core/image/tdib.h"
#include "core/image/visible_runs.h"
#include "core/render/see_through.h"
#include "linux/x11/handles.h"

namespace lumivane::x11 {

class WindowSurface {
  public:
    WindowSurface(GdkDisplay* display, Window window);
    WindowSurface(const WindowSurface&) = delete;
    WindowSurface& operator=(const WindowSurface&) = delete;

    // Shows `parts` of `frame` in the window (all of it after a Hide), with the shapes its
    // pixels and `grab` (one byte per frame pixel: the pixels that may start a drag) give;
    // in a translucent window (a 32-bit visual) `picture`, the frame see-through, instead.
    void Present(TDIB& frame, const ArgbImage* picture, const std::vector<uint8_t>& grab,
                 std::span<const Rect> parts);
    // No pixel of the window shows, until the next Present.
    void Hide();
    // Paints the last frame (for the toolkit's redraws after an exposure).
    void Paint(cairo_t* cairo) const;

  private:
    // True when the image was made anew.
    bool PrepareImage(int32_t width, int32_t height);
    void PutImage(std::span<const Rect> parts);
    void Shape(int kind, const std::vector<PixelRun>& runs, std::vector<PixelRun>& shown);
    void Combine(int kind, const std::vector<PixelRun>& runs, int operation);
    // Whether a pixel of `parts` turned visible or see-through since it was last shown.
    bool VisibilityChanged(TDIB& frame, std::span<const Rect> parts);

    ::Display* display_;
    Window window_;
    Visual* visual_;
    int depth_;
    x11::GraphicsContext gc_;
    std::unique_ptr<x11::SharedMemory> shared_;
    std::vector<uint32_t> plain_; // the pixels when they are not shared
    x11::Image image_;
    x11::Surface painted_; // the last frame, for Paint
    std::vector<PixelRun> runs_;
    std::vector<PixelRun> boundingShown_;
    std::vector<uint8_t> visible_; // per frame pixel, as last shown
    std::vector<PixelRun> inputShown_;
    bool hidden_ = true;
    std::vector<XRectangle> rectangles_;
};

} // namespace lumivane::x11
