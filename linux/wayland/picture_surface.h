#pragma once
// The clock's picture on a Wayland compositor: a subsurface above the clock's layer
// surface, desynchronized, showing shared-memory buffers of its own. It fills the one the
// compositor does not hold and commits it at once, so that what the compositor shows is
// known as soon as a frame is presented, and a frame reuses a buffer (the toolkit makes a
// new one for every paint while the compositor holds the last). Input passes through it
// to the layer surface, which takes the hands' pixels.
#include <wayland-client.h>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "core/geometry.h"
#include "core/render/see_through.h"
#include "linux/wayland/handles.h"

namespace lumivane::wayland {

void DestroySubsurface(wl_subsurface* subsurface);
void DestroySurface(wl_surface* surface);

class PictureSurface {
  public:
    PictureSurface(wl_compositor* compositor, wl_subcompositor* subcompositor, wl_shm* shm);
    PictureSurface(const PictureSurface&) = delete;
    PictureSurface& operator=(const PictureSurface&) = delete;

    // Whether pictures can be shown (the compositor has subsurfaces and shared memory).
    bool Works() const { return subcompositor_ != nullptr && shm_ != nullptr; }
    // Shows `parts` of `picture` over `parent` (the layer surface's, which the toolkit makes
    // anew each time it maps it), in buffers of `scale`; all of it on a new parent, at a
    // new scale or size.
    void Show(const ArgbImage& picture, std::span<const Rect> parts, wl_surface* parent,
              int32_t scale);
    // The parent went: nothing shows until the next Show.
    void Forget();

  private:
    struct Slot {
        Buffer buffer;
        uint32_t* pixels = nullptr;
        bool held = false;        // by the compositor
        std::vector<Rect> behind; // what it lacks of the newest picture
    };
    bool MakeBuffers(int32_t width, int32_t height);

    wl_compositor* compositor_;
    wl_subcompositor* subcompositor_;
    wl_shm* shm_;
    wl_surface* parent_ = nullptr;
    Owned<wl_surface*, &DestroySurface> surface_;
    Owned<wl_subsurface*, &DestroySubsurface> subsurface_;
    int32_t scale_ = 1;
    int32_t width_ = 0;
    int32_t height_ = 0;
    File file_;
    Mapping mapping_;
    std::array<Slot, 2> slots_;
};

} // namespace lumivane::wayland
