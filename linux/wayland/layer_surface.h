#pragma once
// The clock's surfaces on a Wayland compositor: a layer surface (wlr-layer-shell, through
// gtk-layer-shell) on the overlay layer of the output that holds the clock's place,
// anchored at that output's top-left corner with the place as margins, without keyboard
// focus and reserving no room, whose input is where a press takes a hand; above it the
// see-through picture (picture_surface.h). Places and sizes are in physical pixels; the
// toolkit and the protocol speak the output's logical ones.
#include <gtk/gtk.h>
#include <wayland-client.h>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/image/visible_runs.h"
#include "core/render/see_through.h"
#include "linux/main_loop.h"
#include "linux/wayland/monitors.h"
#include "linux/wayland/picture_surface.h"

namespace lumivane::wayland {

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

    gtk::Widget window_;
    GtkWidget* area_ = nullptr;
    GdkDisplay* display_;
    PictureSurface picture_;
    std::vector<Output> outputs_;
    GdkMonitor* monitor_ = nullptr; // the output the surface is on
    int32_t scale_ = 1;
    int32_t side_ = 1;
    Place place_;
    bool shown_ = false;
    std::optional<Place> committedAt_;
    std::vector<PixelRun> input_; // the input region on the surface the toolkit has now
    bool inputSet_ = false;
};

} // namespace lumivane::wayland
