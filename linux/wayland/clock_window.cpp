#include "linux/wayland/clock_window.h"

#include <gdk/gdkwayland.h>
#include <gtk-layer-shell/gtk-layer-shell.h>

#include <algorithm>
#include <utility>

#include "core/clock/placement.h"
#include "core/controller/facts.h"
#include "linux/accessibility.h"
#include "linux/wayland/beneath.h"
#include "linux/wayland/front_window.h"
#include "linux/wayland/picture_surface.h"
#include "linux/wayland/pointer_travel.h"

namespace lumivane::wayland {

namespace {

ClockWindow* Of(gpointer self) {
    return static_cast<ClockWindow*>(self);
}

// How long after the compositor closed the surface the toolkit has surely heard whether
// its output went, ms.
constexpr uint32_t kClosedSettle = 100;
// The compositor closing the surface more often than this within so many seconds means it.
constexpr int32_t kClosedTimes = 2;
constexpr int32_t kClosedAgainWithin = 10;

// Lengths in the output's logical pixels, which the toolkit and the protocol speak.
int32_t Logical(int32_t pixels, int32_t scale) {
    return (pixels + scale - 1) / scale;
}

} // namespace

ClockWindow::ClockWindow(ClockState& state, std::function<void()> closed)
    : DesktopClock(state), closed_(std::move(closed)), display_(gdk_display_get_default()),
      globals_(BindGlobals(display_)) {
    window_.reset(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    GtkWindow* window = Window();
    gtk_window_set_title(window, kTitle);
    gtk_layer_init_for_window(window);
    gtk_layer_set_namespace(window, "lumivane");
    gtk_layer_set_layer(window, GTK_LAYER_SHELL_LAYER_OVERLAY);
    gtk_layer_set_anchor(window, GTK_LAYER_SHELL_EDGE_LEFT, TRUE);
    gtk_layer_set_anchor(window, GTK_LAYER_SHELL_EDGE_TOP, TRUE);
    gtk_layer_set_exclusive_zone(window, -1);
    gtk_layer_set_keyboard_interactivity(window, FALSE);
    if (GdkVisual* visual = gdk_screen_get_rgba_visual(gdk_display_get_default_screen(display_))) {
        gtk_widget_set_visual(window_.get(), visual);
    }
    gtk_widget_set_app_paintable(window_.get(), TRUE);
    // The window's own draw handler never gets a buffer attached on a layer surface; a
    // child that draws does. It draws nothing: the picture shows on a surface above it.
    area_ = gtk_drawing_area_new();
    gtk_widget_set_app_paintable(area_, TRUE);
    gtk_widget_add_events(area_, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                     GDK_POINTER_MOTION_MASK);
    gtk_container_add(GTK_CONTAINER(window_.get()), area_);
    gtk::SetClockRole(window_.get());
    g_signal_connect(area_, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t* cairo, gpointer self) {
                         cairo_set_operator(cairo, CAIRO_OPERATOR_CLEAR);
                         cairo_paint(cairo);
                         // This paint's commit carries the margins last set.
                         Of(self)->committedAt_ = Of(self)->place_;
                         return TRUE;
                     }),
                     this);
    g_signal_connect(area_, "button-press-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEventButton* event, gpointer self) {
                         Of(self)->Guard([=] { Of(self)->Pressed(*event); });
                         return TRUE;
                     }),
                     this);
    // Without the relative pointer, the pointer's place relative to the surface at the
    // press (a compositor that gives it relative to where the surface is now moves the
    // clock by less).
    g_signal_connect(area_, "motion-notify-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEventMotion* event, gpointer self) {
                         ClockWindow* clock = Of(self);
                         if (!clock->travelling_) {
                             clock->Guard([=] {
                                 clock->controller_.PointerMoved(
                                     {static_cast<int32_t>(event->x * clock->scale_),
                                      static_cast<int32_t>(event->y * clock->scale_)});
                             });
                         }
                         return TRUE;
                     }),
                     this);
    // A grab the compositor breaks ends the drag as a release does.
    for (const char* released : {"button-release-event", "grab-broken-event"}) {
        g_signal_connect(area_, released, G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) {
                             Of(self)->Guard([=] { Of(self)->Released(); });
                             return FALSE;
                         }),
                         this);
    }
    g_signal_connect(window_.get(), "delete-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) {
                         Of(self)->Closed();
                         return TRUE;
                     }),
                     this);
    picture_ = std::make_unique<PictureSurface>(gdk_wayland_display_get_wl_compositor(display_),
                                                globals_.subcompositor.get(), globals_.shm.get());
    travel_ = std::make_unique<PointerTravel>(
        display_, globals_.relativePointers.get(),
        [this](Place travel) { Guard([this, travel] { controller_.PointerMoved(travel); }); });
    reader_ = std::make_unique<BeneathReader>(display_, [this](const ScreenCapture* copy) {
        bool news = true;
        Guard([&] {
            std::optional<ScreenCapture> shown;
            if (copy != nullptr) {
                shown = *copy;
                shown->clockAt = committedAt_;
            }
            news = controller_.ScreenChanged(shown ? &*shown : nullptr);
        });
        return news;
    });
    front_ = std::make_unique<FrontWindowWatch>(
        display_, [this] { Guard([this] { controller_.CheckFullScreen(); }); });
    const auto changed = +[](GdkDisplay*, GdkMonitor*, gpointer self) {
        Of(self)->Guard([=] { Of(self)->controller_.MonitorsChanged(); });
    };
    g_signal_connect(display_, "monitor-added", G_CALLBACK(changed), this);
    g_signal_connect(display_, "monitor-removed", G_CALLBACK(changed), this);
    outputs_ = Outputs(display_);
    traits_ = {
        .tellsChangesBeneath = reader_->TellsChanges(), .seeThrough = true, .shapesInput = true};
    controller_.Start();
}

ClockWindow::~ClockWindow() {
    g_signal_handlers_disconnect_by_data(display_, this);
    g_signal_handlers_disconnect_by_data(window_.get(), this);
    g_signal_handlers_disconnect_by_data(area_, this);
}

std::string ClockWindow::Note() const {
    std::string note = reader_->SeesBeneath() ? "" : kNoCaptureNote;
    if (!front_->Watching()) {
        note += std::string(note.empty() ? "" : "\n") + kNoFullScreenNote;
    }
    return note;
}

std::vector<Rect> ClockWindow::Monitors() {
    outputs_ = Outputs(display_);
    // An output that went takes the surface with it: it goes to the one that now holds it.
    const bool stillThere = std::any_of(outputs_.begin(), outputs_.end(),
                                        [this](const Output& o) { return o.monitor == monitor_; });
    if (!stillThere && monitor_ != nullptr) {
        monitor_ = nullptr;
        remapped_ = true;
        PutAt(place_);
        Remap();
    }
    return Rectangles(outputs_);
}

const Output& ClockWindow::OutputAt(Place at) const {
    const std::vector<Rect> rects = Rectangles(outputs_);
    return outputs_[OwningMonitor(rects, at, side_, side_).value_or(0)];
}

void ClockWindow::SizeWindow(int32_t side) {
    side_ = std::max(side, 1);
    const int32_t logical = Logical(side_, scale_);
    gtk_widget_set_size_request(area_, logical, logical);
    gtk_window_resize(Window(), logical, logical);
}

void ClockWindow::PutAt(Place to) {
    place_ = to;
    const auto own = std::find_if(outputs_.begin(), outputs_.end(),
                                  [this](const Output& o) { return o.monitor == monitor_; });
    const Output& output = controller_.Dragging() && own != outputs_.end() ? *own : OutputAt(to);
    if (output.monitor != monitor_) {
        // The surface moves to another output (remapped there if it shows).
        monitor_ = output.monitor;
        gtk_layer_set_monitor(Window(), monitor_);
        if (output.scale != scale_) {
            scale_ = output.scale;
            SizeWindow(side_);
        }
    }
    gtk_layer_set_margin(Window(), GTK_LAYER_SHELL_EDGE_LEFT,
                         (to.left - output.rect.left) / scale_);
    gtk_layer_set_margin(Window(), GTK_LAYER_SHELL_EDGE_TOP, (to.top - output.rect.top) / scale_);
    gtk_widget_queue_draw(area_);
}

void ClockWindow::MoveWindow(Place to) {
    PutAt(to);
}

void ClockWindow::Remap() {
    if (!shown_) {
        return;
    }
    gtk_widget_hide(window_.get());
    Unmapped();
    gtk_widget_show_all(window_.get());
}

void ClockWindow::Unmapped() {
    committedAt_.reset();
    inputSet_ = false;
    picture_->Forget();
}

void ClockWindow::ShowWindow(bool shown) {
    if (shown == shown_) {
        return;
    }
    shown_ = shown;
    if (!shown) {
        gtk_widget_hide(window_.get());
        Unmapped();
        return;
    }
    PutAt(controller_.Where());
    gtk_widget_show_all(window_.get());
}

std::optional<ScreenCapture> ClockWindow::CaptureScreen(const Rect& area) {
    const Output& output = OutputAt({area.left, area.top});
    std::optional<ScreenCapture> capture = reader_->Capture(output, area);
    if (capture) {
        capture->clockAt = committedAt_;
        reader_->Watch(output, area);
    }
    return capture;
}

void ClockWindow::Present(const Frame& frame) {
    GdkWindow* window = gtk_widget_get_window(window_.get());
    wl_surface* surface =
        shown_ && window != nullptr ? gdk_wayland_window_get_wl_surface(window) : nullptr;
    if (surface != nullptr) {
        SetInputRegion(*frame.hands, surface);
    }
    picture_->Show(*frame.picture, frame.parts, surface, scale_);
}

void ClockWindow::SetInputRegion(const std::vector<uint8_t>& hands, wl_surface* surface) {
    VisibleRuns(*state_.FrameBuffer, &hands, runs_);
    if (runs_ == inputRuns_ && inputSet_) {
        return;
    }
    inputRuns_ = runs_;
    inputSet_ = true;
    const Proxy<wl_region> region(
        wl_compositor_create_region(gdk_wayland_display_get_wl_compositor(display_)));
    for (const PixelRun& run : runs_) {
        wl_region_add(region.get(), run.x / scale_, run.y / scale_, std::max(run.width / scale_, 1),
                      1);
    }
    wl_surface_set_input_region(surface, region.get());
    // At once: the toolkit commits the surface only when it paints, which it seldom does.
    wl_surface_commit(surface);
}

void ClockWindow::Pressed(const GdkEventButton& event) {
    if (event.type != GDK_BUTTON_PRESS || event.button != GDK_BUTTON_PRIMARY) {
        return;
    }
    const Place at{static_cast<int32_t>(event.x * scale_), static_cast<int32_t>(event.y * scale_)};
    // Without the relative pointer the pointer's place in the surface stands for it.
    travelling_ = travel_->Start(scale_);
    if (!controller_.HandPressed(at, travelling_ ? Place{} : at)) {
        travel_->Stop();
        travelling_ = false;
    }
}

void ClockWindow::Released() {
    travel_->Stop();
    travelling_ = false;
    controller_.HandReleased();
}

void ClockWindow::Closed() {
    // A layer surface is closed by its compositor: mostly when its output goes (the
    // monitors' change, which the toolkit hears of a moment later, puts it on another).
    // Closed otherwise it is made again, unless the compositor keeps closing it: then
    // the program ends, as it would if a window manager closed its window.
    closing_ = gtk::After(kClosedSettle, controller_, [this] {
        controller_.MonitorsChanged();
        if (std::exchange(remapped_, false)) {
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        closedInARow_ =
            now - lastClosed_ < std::chrono::seconds(kClosedAgainWithin) ? closedInARow_ + 1 : 1;
        lastClosed_ = now;
        if (closedInARow_ > kClosedTimes) {
            closed_();
            return;
        }
        Remap();
    });
}

std::optional<Rect> ClockWindow::FrontWindow() {
    return front_->Read(outputs_);
}

} // namespace lumivane::wayland
