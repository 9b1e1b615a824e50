#include "linux/wayland/layer_surface.h"

#include <gdk/gdkwayland.h>
#include <gtk-layer-shell/gtk-layer-shell.h>

#include <algorithm>
#include <cstring>

#include "core/clock/placement.h"
#include "core/controller/facts.h"
#include "linux/wayland/globals.h"

namespace lumivane::wayland {

namespace {

// More parts than this behind, and the whole picture is copied.
constexpr size_t kMostParts = 16;

// Lengths in the output's logical pixels, which the toolkit and the protocol speak.
int32_t Logical(int32_t pixels, int32_t scale) {
    return (pixels + scale - 1) / scale;
}

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

LayerSurface::LayerSurface(GdkDisplay* display)
    : window_(gtk_window_new(GTK_WINDOW_TOPLEVEL)), display_(display),
      outputs_(wayland::Outputs(display)),
      compositor_(gdk_wayland_display_get_wl_compositor(display)),
      subcompositor_(Bind<wl_subcompositor>(display, wl_subcompositor_interface, 1, 1)),
      shm_(Bind<wl_shm>(display, wl_shm_interface, 1, 1)) {
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
    pictureRole_.reset();
    picture_.reset();
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
    ShowPicture(picture, parts, surface);
}

void LayerSurface::ShowPicture(const ArgbImage& picture, std::span<const Rect> parts,
                               wl_surface* parent) {
    if (!subcompositor_ || !shm_) {
        return;
    }
    const Rect whole{0, 0, picture.width, picture.height};
    if (!picture_) {
        picture_.reset(wl_compositor_create_surface(compositor_));
        pictureRole_.reset(
            wl_subcompositor_get_subsurface(subcompositor_.get(), picture_.get(), parent));
        wl_subsurface_set_desync(pictureRole_.get());
        // Presses go to the layer surface beneath, which takes the hands' pixels.
        const Proxy<wl_region> nothing(wl_compositor_create_region(compositor_));
        wl_surface_set_input_region(picture_.get(), nothing.get());
        pictureScale_ = 1;
        parts = {&whole, 1};
    }
    if (whole != pictureSize_) {
        pictureSize_ = {};
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
        pictureSize_ = whole;
        parts = {&whole, 1};
    }
    if (scale_ != pictureScale_) {
        pictureScale_ = scale_;
        wl_surface_set_buffer_scale(picture_.get(), scale_);
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
        const int32_t right = std::min(part.right, whole.right);
        for (int32_t y = std::max(part.top, 0); y < std::min(part.bottom, whole.bottom); ++y) {
            const size_t at = static_cast<size_t>(y) * whole.right + left;
            std::memcpy(pixels + at, picture.pixels.data() + at,
                        static_cast<size_t>(std::max(right - left, 0)) * 4);
        }
    }
    lacks.clear();
    wl_surface_attach(picture_.get(), buffers_.Get(slot), 0, 0);
    // In the surface's own lengths: the toolkit's compositor may be older than damage in
    // the buffer's.
    for (const Rect& part : parts) {
        wl_surface_damage(picture_.get(), part.left / scale_, part.top / scale_,
                          Logical(part.right, scale_) - part.left / scale_,
                          Logical(part.bottom, scale_) - part.top / scale_);
    }
    wl_surface_commit(picture_.get());
    *free = true;
}

} // namespace lumivane::wayland
