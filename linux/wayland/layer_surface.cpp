#include "linux/wayland/layer_surface.h"

#include <gdk/gdkwayland.h>
#include <gtk-layer-shell/gtk-layer-shell.h>

#include <algorithm>

#include "core/clock/placement.h"
#include "core/controller/facts.h"
#include "linux/wayland/handles.h"

namespace lumivane::wayland {

namespace {

// Lengths in the output's logical pixels, which the toolkit and the protocol speak.
int32_t Logical(int32_t pixels, int32_t scale) {
    return (pixels + scale - 1) / scale;
}

} // namespace

LayerSurface::LayerSurface(GdkDisplay* display)
    : window_(gtk_window_new(GTK_WINDOW_TOPLEVEL)), display_(display), picture_(display),
      outputs_(wayland::Outputs(display)) {
    GtkWindow* window = Window();
    gtk_window_set_title(window, kTitle);
    gtk_layer_init_for_window(window);
    gtk_layer_set_namespace(window, "lumivane");
    gtk_layer_set_layer(window, GTK_LAYER_SHELL_LAYER_OVERLAY);
    gtk_layer_set_anchor(window, GTK_LAYER_SHELL_EDGE_LEFT, TRUE);
    gtk_layer_set_anchor(window, GTK_LAYER_SHELL_EDGE_TOP, TRUE);
    gtk_layer_set_exclusive_zone(window, -1);
    gtk_layer_set_keyboard_interactivity(window, FALSE);
    if (GdkVisual* visual = gdk_screen_get_rgba_visual(gdk_display_get_default_screen(display))) {
        gtk_widget_set_visual(window_.get(), visual);
    }
    gtk_widget_set_app_paintable(window_.get(), TRUE);
    // The window's own draw handler never gets a buffer attached on a layer surface; a
    // child that draws does. It draws nothing: the picture shows on a surface above it.
    area_ = gtk_drawing_area_new();
    gtk_widget_set_app_paintable(area_, TRUE);
    gtk_container_add(GTK_CONTAINER(window_.get()), area_);
    g_signal_connect(area_, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t* cairo, gpointer data) {
                         cairo_set_operator(cairo, CAIRO_OPERATOR_CLEAR);
                         cairo_paint(cairo);
                         // This paint's commit carries the margins last set.
                         auto* self = static_cast<LayerSurface*>(data);
                         self->committedAt_ = self->place_;
                         return TRUE;
                     }),
                     this);
}

LayerSurface::~LayerSurface() {
    g_signal_handlers_disconnect_by_data(area_, this);
}

const Output& LayerSurface::OutputAt(Place at) const {
    const std::vector<Rect> rects = Rectangles(outputs_);
    return outputs_[OwningMonitor(rects, at, side_, side_).value_or(0)];
}

bool LayerSurface::ReadOutputs() {
    outputs_ = wayland::Outputs(display_);
    if (monitor_ == nullptr ||
        std::any_of(outputs_.begin(), outputs_.end(),
                    [this](const Output& o) { return o.monitor == monitor_; })) {
        return false;
    }
    monitor_ = nullptr;
    Put(place_);
    Remap();
    return true;
}

void LayerSurface::Size(int32_t side) {
    side_ = std::max(side, 1);
    const int32_t logical = Logical(side_, scale_);
    gtk_widget_set_size_request(area_, logical, logical);
    gtk_window_resize(Window(), logical, logical);
}

void LayerSurface::Put(Place to, bool keepOutput) {
    place_ = to;
    const auto own = std::find_if(outputs_.begin(), outputs_.end(),
                                  [this](const Output& o) { return o.monitor == monitor_; });
    const Output& output = keepOutput && own != outputs_.end() ? *own : OutputAt(to);
    if (output.monitor != monitor_) {
        // The surface moves to another output (remapped there if it shows).
        monitor_ = output.monitor;
        gtk_layer_set_monitor(Window(), monitor_);
        if (output.scale != scale_) {
            scale_ = output.scale;
            Size(side_);
        }
    }
    gtk_layer_set_margin(Window(), GTK_LAYER_SHELL_EDGE_LEFT,
                         (to.left - output.rect.left) / scale_);
    gtk_layer_set_margin(Window(), GTK_LAYER_SHELL_EDGE_TOP, (to.top - output.rect.top) / scale_);
    gtk_widget_queue_draw(area_);
}

void LayerSurface::Unmapped() {
    committedAt_.reset();
    inputSet_ = false;
    picture_.Forget();
}

void LayerSurface::Show(bool shown) {
    if (shown == shown_) {
        return;
    }
    shown_ = shown;
    if (shown) {
        gtk_widget_show_all(window_.get());
        return;
    }
    gtk_widget_hide(window_.get());
    Unmapped();
}

void LayerSurface::Remap() {
    if (shown_) {
        gtk_widget_hide(window_.get());
        Unmapped();
        gtk_widget_show_all(window_.get());
    }
}

void LayerSurface::Present(const ArgbImage& picture, std::span<const Rect> parts,
                           const std::vector<PixelRun>& hands) {
    GdkWindow* window = gtk_widget_get_window(window_.get());
    wl_surface* surface =
        shown_ && window != nullptr ? gdk_wayland_window_get_wl_surface(window) : nullptr;
    if (surface == nullptr) {
        return;
    }
    if (!inputSet_ || hands != input_) {
        input_ = hands;
        inputSet_ = true;
        const Proxy<wl_region> region(
            wl_compositor_create_region(gdk_wayland_display_get_wl_compositor(display_)));
        for (const PixelRun& run : hands) {
            wl_region_add(region.get(), run.x / scale_, run.y / scale_,
                          std::max(run.width / scale_, 1), 1);
        }
        wl_surface_set_input_region(surface, region.get());
        // At once: the toolkit commits the surface only when it paints, which it seldom does.
        wl_surface_commit(surface);
    }
    picture_.Show(picture, parts, surface, scale_);
}

} // namespace lumivane::wayland
