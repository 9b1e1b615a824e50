#pragma once
// The clock's picture on a Wayland compositor: a subsurface above the clock's layer
// surface, desynchronized, showing shared-memory buffers of its own. It fills the one the
// compositor does not hold and commits it at once, so that what the compositor shows is
// known as soon as a frame is presented, and a frame reuses a buffer (the toolkit makes a
// new one for every paint while the compositor holds the last). Input passes through it
// to the layer surface, which takes the hands' pixels.
#include <gdk/gdk.h>
#include <wayland-client.h>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "core/geometry.h"
#include "core/render/see_through.h"
#include "linux/wayland/handles.h"

namespace lumivane::wayland {

void DestroySubcompositor(wl_subcompositor* subcompositor);
void DestroySubsurface(wl_subsurface* subsurface);
void DestroySurface(wl_surface* surface);

class PictureSurface {
  public:
    explicit PictureSurface(GdkDisplay* display);

    // Shows `parts` of `picture` over `parent` (the layer surface's), in buffers of
    // `scale`; all of it on a new parent, at a new scale or size.
    void Show(const ArgbImage& picture, std::span<const Rect> parts, wl_surface* parent,
              int32_t scale);
    // The parent went (the toolkit makes it anew at each map): nothing shows until the
    // next Show.
    void Forget();

  private:
    wl_compositor* compositor_;
    Owned<wl_subcompositor*, &DestroySubcompositor> subcompositor_;
    Proxy<wl_shm> shm_;
    Owned<wl_surface*, &DestroySurface> surface_;
    Owned<wl_subsurface*, &DestroySubsurface> subsurface_;
    bool attached_ = false; // to the layer surface the toolkit has now
    int32_t scale_ = 1;
    int32_t width_ = 0;
    int32_t height_ = 0;
    SharedBuffers buffers_;
    std::array<bool, 2> held_{};              // by the compositor
    std::array<std::vector<Rect>, 2> behind_; // what each lacks of the newest picture
};

} // namespace lumivane::wayland
