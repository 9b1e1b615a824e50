#pragma once
// The clock's surfaces on a Wayland compositor: a layer surface (wlr-layer-shell, through
// gtk-layer-shell) on the overlay layer of the output that holds the clock's place,
// anchored at that output's top-left corner with the place as margins, without keyboard
// focus and reserving no room, whose input is where a press takes a hand; and above it a
// subsurface, desynchronized, showing the see-through picture in shared-memory buffers of
// its own. The picture's buffer is committed at once, so that what the compositor shows is
// known as soon as a frame is presented, and reused (the toolkit makes a new buffer for
// every paint while the compositor holds the last). Places and sizes are in physical
// pixels; the toolkit and the protocol speak the output's logical ones.
#include <gtk/gtk.h>
#include <wayland-client.h>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/image/visible_runs.h"
#include "core/render/see_through.h"
#include "linux/main_loop.h"
#include "linux/wayland/handles.h"
#include "linux/wayland/monitors.h"

namespace lumivane::wayland {

void DestroySubcompositor(wl_subcompositor* subcompositor);
void DestroySubsurface(wl_subsurface* subsurface);
void DestroySurface(wl_surface* surface);

class LayerSurface {
  public:
    explicit LayerSurface(GdkDisplay* display);
    ~LayerSurface();
    LayerSurface(const LayerSurface&) = delete;
    LayerSurface& operator=(const LayerSurface&) = delete;

    GtkWindow* Window() const { return GTK_WINDOW(window_.get()); }
    // The window's child, which the toolkit draws and which takes the pointer's events.
    GtkWidget* Area() const { return area_; }
    int32_t Scale() const { return scale_; }
    const std::vector<Output>& Outputs() const { return outputs_; }
    const Output& OutputAt(Place at) const;
    // Reads the outputs again. One that went takes the surface with it: it is mapped
    // anew on the one that now holds it (true).
    bool ReadOutputs();

    void Size(int32_t side);
    // Puts the surface at `to`, on the output that holds it or, with `keepOutput`, on the
    // one it is on (remapped elsewhere, it would lose the pointer's grab).
    void Put(Place to, bool keepOutput = false);
    void Show(bool shown);
    // Maps it anew where it is, where it shows.
    void Remap();
    // Where the compositor shows the picture: where the surface's last commit put it;
    // nothing while it does not show.
    std::optional<Place> ShownAt() const { return committedAt_; }
    // Shows the picture's `parts`; `hands` take input.
    void Present(const ArgbImage& picture, std::span<const Rect> parts,
                 const std::vector<PixelRun>& hands);

  private:
    // The toolkit makes the surface anew at each map.
    void Unmapped();
    // Shows `parts` of `picture` on the subsurface over `parent`; all of it on a new
    // parent, at a new scale or size.
    void ShowPicture(const ArgbImage& picture, std::span<const Rect> parts, wl_surface* parent);

    gtk::Widget window_;
    GtkWidget* area_ = nullptr;
    GdkDisplay* display_;
    std::vector<Output> outputs_;
    GdkMonitor* monitor_ = nullptr; // the output the surface is on
    int32_t scale_ = 1;
    int32_t side_ = 1;
    Place place_;
    bool shown_ = false;
    std::optional<Place> committedAt_;
    std::vector<PixelRun> input_; // the input region on the surface the toolkit has now
    bool inputSet_ = false;

    // The picture: its subsurface, and buffers of the picture's size.
    wl_compositor* compositor_;
    Owned<wl_subcompositor*, &DestroySubcompositor> subcompositor_;
    Proxy<wl_shm> shm_;
    Owned<wl_surface*, &DestroySurface> picture_;
    Owned<wl_subsurface*, &DestroySubsurface> pictureRole_;
    int32_t pictureScale_ = 1;
    Rect pictureSize_;
    SharedBuffers buffers_;
    std::array<bool, 2> held_{};              // by the compositor
    std::array<std::vector<Rect>, 2> behind_; // what each lacks of the newest picture
};

} // namespace lumivane::wayland
