#include "linux/wayland/picture_surface.h"

#include <gdk/gdkwayland.h>

#include <algorithm>
#include <cstring>

#include "linux/wayland/globals.h"

namespace lumivane::wayland {

namespace {

// More parts than this behind, and the whole picture is copied.
constexpr size_t kMostParts = 16;

} // namespace

void DestroySubcompositor(wl_subcompositor* subcompositor) {
    wl_subcompositor_destroy(subcompositor);
}

void DestroySubsurface(wl_subsurface* subsurface) {
    wl_subsurface_destroy(subsurface);
}

void DestroySurface(wl_surface* surface) {
    wl_surface_destroy(surface);
}

PictureSurface::PictureSurface(GdkDisplay* display)
    : compositor_(gdk_wayland_display_get_wl_compositor(display)),
      subcompositor_(Bind<wl_subcompositor>(display, wl_subcompositor_interface, 1, 1)),
      shm_(Bind<wl_shm>(display, wl_shm_interface, 1, 1)) {}

void PictureSurface::Forget() {
    subsurface_.reset();
    surface_.reset();
    attached_ = false;
}

void PictureSurface::Show(const ArgbImage& picture, std::span<const Rect> parts, wl_surface* parent,
                          int32_t scale) {
    if (!subcompositor_ || !shm_ || parent == nullptr) {
        return;
    }
    const Rect whole{0, 0, picture.width, picture.height};
    if (!attached_) {
        surface_.reset(wl_compositor_create_surface(compositor_));
        subsurface_.reset(
            wl_subcompositor_get_subsurface(subcompositor_.get(), surface_.get(), parent));
        wl_subsurface_set_desync(subsurface_.get());
        // Presses go to the layer surface beneath, which takes the hands' pixels.
        const Proxy<wl_region> nothing(wl_compositor_create_region(compositor_));
        wl_surface_set_input_region(surface_.get(), nothing.get());
        attached_ = true;
        scale_ = 1;
        parts = {&whole, 1};
    }
    if (picture.width != width_ || picture.height != height_) {
        width_ = height_ = 0;
        held_ = {};
        static constexpr wl_buffer_listener kReleased{
            [](void* held, wl_buffer*) { *static_cast<bool*>(held) = false; }};
        if (!buffers_.Make(shm_.get(), held_.size(), static_cast<uint32_t>(picture.width),
                           static_cast<uint32_t>(picture.height),
                           static_cast<uint32_t>(picture.width) * 4, WL_SHM_FORMAT_ARGB8888)) {
            return;
        }
        for (size_t i = 0; i < held_.size(); ++i) {
            wl_buffer_add_listener(buffers_.Get(i), &kReleased, &held_[i]);
        }
        width_ = picture.width;
        height_ = picture.height;
        parts = {&whole, 1};
    }
    if (scale != scale_) {
        scale_ = scale;
        wl_surface_set_buffer_scale(surface_.get(), scale);
        parts = {&whole, 1};
    }
    for (std::vector<Rect>& lacks : behind_) {
        lacks.insert(lacks.end(), parts.begin(), parts.end());
    }
    // A buffer the compositor still holds is left alone; with both held, the frame waits
    // for the next.
    const auto free = std::find(held_.begin(), held_.end(), false);
    if (free == held_.end() || parts.empty()) {
        return;
    }
    const auto slot = static_cast<size_t>(free - held_.begin());
    auto* pixels = reinterpret_cast<uint32_t*>(buffers_.Bytes(slot));
    std::vector<Rect>& lacks = behind_[slot];
    if (lacks.size() > kMostParts) {
        lacks = {whole};
    }
    for (const Rect& part : lacks) {
        const int32_t left = std::max(part.left, 0);
        const int32_t right = std::min(part.right, width_);
        for (int32_t y = std::max(part.top, 0); y < std::min(part.bottom, height_) && left < right;
             ++y) {
            const size_t at = static_cast<size_t>(y) * width_ + left;
            std::memcpy(pixels + at, picture.pixels.data() + at, (right - left) * 4);
        }
    }
    lacks.clear();
    wl_surface_attach(surface_.get(), buffers_.Get(slot), 0, 0);
    // In the surface's own lengths: the toolkit's compositor may be older than damage in
    // the buffer's.
    for (const Rect& part : parts) {
        wl_surface_damage(surface_.get(), part.left / scale, part.top / scale,
                          (part.right + scale - 1) / scale - part.left / scale,
                          (part.bottom + scale - 1) / scale - part.top / scale);
    }
    wl_surface_commit(surface_.get());
    *free = true;
}

} // namespace lumivane::wayland
