#include "linux/wayland/clock_window.h"

#include <gdk/gdkwayland.h>
#include <gtk-layer-shell/gtk-layer-shell.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <utility>

#include "core/clock/hand_hit.h"
#include "core/clock/placement.h"
#include "core/controller/facts.h"
#include "linux/accessibility.h"
#include "linux/wayland/front_window.h"
#include "linux/wayland/beneath.h"
#include "relative-pointer-unstable-v1-client-protocol.h"

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

// The compositor's relative pointers, on the toolkit's queue; none when it has none.
zwp_relative_pointer_manager_v1* BindRelativePointers(GdkDisplay* display) {
    wl_display* wayland = gdk_wayland_display_get_wl_display(display);
    const Queue queue(wl_display_create_queue(wayland));
    const Wrapper wrapper(wl_proxy_create_wrapper(wayland));
    if (!queue || !wrapper) {
        return nullptr;
    }
    wl_proxy_set_queue(static_cast<wl_proxy*>(wrapper.get()), queue.get());
    const Proxy<wl_registry> registry(
        wl_display_get_registry(static_cast<wl_display*>(wrapper.get())));
    zwp_relative_pointer_manager_v1* bound = nullptr;
    static constexpr wl_registry_listener kGlobals{
        [](void* data, wl_registry* globals, uint32_t name, const char* interface, uint32_t) {
            if (std::strcmp(interface, zwp_relative_pointer_manager_v1_interface.name) == 0) {
                *static_cast<zwp_relative_pointer_manager_v1**>(data) =
                    static_cast<zwp_relative_pointer_manager_v1*>(wl_registry_bind(
                        globals, name, &zwp_relative_pointer_manager_v1_interface, 1));
            }
        },
        [](void*, wl_registry*, uint32_t) {}};
    wl_registry_add_listener(registry.get(), &kGlobals, &bound);
    wl_display_roundtrip_queue(wayland, queue.get());
    if (bound != nullptr) {
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(bound), nullptr);
    }
    return bound;
}

// Lengths in the output's logical pixels, which the toolkit and the protocol speak.
int32_t Logical(int32_t pixels, int32_t scale) {
    return (pixels + scale - 1) / scale;
}

} // namespace

ClockWindow::ClockWindow(ClockState& state, std::function<void()> closed)
    : DesktopClock(state), closed_(std::move(closed)), display_(gdk_display_get_default()) {
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
    // child that draws does.
    area_ = gtk_drawing_area_new();
    gtk_widget_set_app_paintable(area_, TRUE);
    gtk_widget_add_events(area_, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                     GDK_POINTER_MOTION_MASK);
    gtk_container_add(GTK_CONTAINER(window_.get()), area_);
    PresentClock(window_.get());
    g_signal_connect(area_, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t* cairo, gpointer self) {
                         Of(self)->Paint(cairo);
                         return TRUE;
                     }),
                     this);
    g_signal_connect(area_, "button-press-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEventButton* event, gpointer self) {
                         ClockController& controller = Of(self)->controller_;
                         Guarded(controller, [&] { Of(self)->Pressed(*event); });
                         return TRUE;
                     }),
                     this);
    g_signal_connect(area_, "motion-notify-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEventMotion* event, gpointer self) {
                         ClockController& controller = Of(self)->controller_;
                         Guarded(controller, [&] { Of(self)->Dragged(*event); });
                         return TRUE;
                     }),
                     this);
    // A grab the compositor breaks ends the drag as a release does.
    g_signal_connect(area_, "grab-broken-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) {
                         ClockController& controller = Of(self)->controller_;
                         Guarded(controller, [&] { Of(self)->Released(); });
                         return FALSE;
                     }),
                     this);
    g_signal_connect(area_, "button-release-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEventButton*, gpointer self) {
                         ClockController& controller = Of(self)->controller_;
                         Guarded(controller, [&] { Of(self)->Released(); });
                         return TRUE;
                     }),
                     this);
    g_signal_connect(window_.get(), "delete-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) {
                         Of(self)->Closed();
                         return TRUE;
                     }),
                     this);
    relativePointers_ = BindRelativePointers(display_);
    reader_ = std::make_unique<ScreenReader>(
        display_, [this](const ScreenCapture* copy) { return BeneathMayHaveChanged(copy); });
    front_ = std::make_unique<FrontWindowWatch>(
        display_, [this] { Guarded(controller_, [this] { controller_.CheckFullScreen(); }); });
    const auto changed = +[](GdkDisplay*, GdkMonitor*, gpointer self) {
        ClockController& controller = Of(self)->controller_;
        Guarded(controller, [&] { controller.MonitorsChanged(); });
    };
    g_signal_connect(display_, "monitor-added", G_CALLBACK(changed), this);
    g_signal_connect(display_, "monitor-removed", G_CALLBACK(changed), this);
    outputs_ = Outputs(display_);
    controller_.Start();
}

ClockWindow::~ClockWindow() {
    if (relativePointer_ != nullptr) {
        zwp_relative_pointer_v1_destroy(relativePointer_);
    }
    if (relativePointers_ != nullptr) {
        zwp_relative_pointer_manager_v1_destroy(relativePointers_);
    }
    g_signal_handlers_disconnect_by_data(display_, this);
    g_signal_handlers_disconnect_by_data(window_.get(), this);
    g_signal_handlers_disconnect_by_data(area_, this);
}

std::string ClockWindow::Note() const {
    std::string note;
    if (!reader_->SeesBeneath()) {
        note = "This compositor lets no program capture the screen: it darkens what lies "
               "beneath the dial itself, but the marks and hands are lit as over black.";
    }
    if (!front_->Watching()) {
        note += std::string(note.empty() ? "" : "\n") +
                "This compositor does not tell which window is full screen, so the clock "
                "stays over full-screen programs.";
    }
    return note;
}

PlatformTraits ClockWindow::Traits() const {
    return {.tellsChangesBeneath = reader_ != nullptr && reader_->TellsChanges()};
}

std::vector<Rect> ClockWindow::Monitors() {
    outputs_ = Outputs(display_);
    // An output that went takes the surface with it: it goes to the one that now holds it.
    const bool stillThere = std::any_of(outputs_.begin(), outputs_.end(),
                                        [this](const Output& o) { return o.monitor == monitor_; });
    if (!stillThere && monitor_ != nullptr) {
        monitor_ = nullptr;
        remapped_ = true;
        if (shown_) {
            gtk_widget_hide(window_.get());
            paintedAt_.reset();
            PutAt(place_);
            gtk_widget_show_all(window_.get());
        }
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

void ClockWindow::PutAt(Place to, bool keepOutput) {
    place_ = to;
    // The surface stays on its output while a hand is dragged: remapped elsewhere, it
    // would lose the pointer's grab.
    const auto own = std::find_if(outputs_.begin(), outputs_.end(),
                                  [this](const Output& o) { return o.monitor == monitor_; });
    const Output& output = keepOutput && own != outputs_.end() ? *own : OutputAt(to);
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
    // While a hand is dragged the surface goes where the pointer takes it; the edge is
    // kept once it is let go (Released tells the controller where it is).
    if (!dragging_) {
        PutAt(to);
    }
}

void ClockWindow::ShowWindow(bool shown) {
    if (shown == shown_) {
        return;
    }
    shown_ = shown;
    if (!shown) {
        gtk_widget_hide(window_.get());
        paintedAt_.reset();
        return;
    }
    PutAt(controller_.Where());
    gtk_widget_show_all(window_.get());
    // Nothing watched what came to lie beneath meanwhile.
    beneathChanged_ = true;
}

bool ClockWindow::BeneathMayHaveChanged(const ScreenCapture* copy) {
    // What the clock itself drew anew over the estimate of the desktop is no news.
    const ShownClock shown{paintedAt_ ? &painted_ : nullptr, paintedAt_.value_or(Place{})};
    TDIB* background = state_.BackgroundBuffer.get();
    if (copy != nullptr && estimate_.known && background != nullptr &&
        ShowsOnlyTheClock(*background, estimate_.at, *copy, shown)) {
        return false;
    }
    beneathChanged_ = true;
    Guarded(controller_, [this] { controller_.BeneathChanged(); });
    return true;
}

bool ClockWindow::ReadBeneath(TDIB& background, Place at) {
    // A new size leaves nothing known.
    if (estimateSide_ != background.Width()) {
        estimate_.known = false;
        estimateSide_ = background.Width();
    }
    // Where the compositor tells of changes, a still desktop is not captured again.
    if (reader_->TellsChanges() && estimate_.known && estimate_.at == at && !beneathChanged_) {
        return false;
    }
    std::optional<ScreenCapture> capture;
    const Rect area{at.left, at.top, at.left + background.Width(), at.top + background.Height()};
    if (reader_->SeesBeneath()) {
        capture = reader_->Capture(OutputAt(at), area);
    }
    // A capture that failed is tried again at the next frame.
    beneathChanged_ = !capture;
    if (!capture) {
        // Nothing better is known: black at first, then the last estimate.
        if (estimate_.known) {
            return false;
        }
        background.Blacken();
        estimate_ = {true, at};
        return true;
    }
    const ShownClock shown{paintedAt_ ? &painted_ : nullptr, paintedAt_.value_or(Place{})};
    RecoverBeneath(background, estimate_, at, *capture, shown, &recovery_);
    estimate_ = {true, at};
    reader_->Watch(OutputAt(at), area);
    return true;
}

void ClockWindow::Present(std::span<const Rect> parts) {
    if (parts.empty() && composed_.width == state_.Diameter) {
        return;
    }
    const bool whole = composed_.width != state_.Diameter;
    ComposeSeeThrough(state_, parts, composed_);
    composedNew_ = true;
    SetInputRegion();
    if (whole) {
        gtk_widget_queue_draw(area_);
        return;
    }
    // Only what changed is drawn again, and so only that is the compositor's to repaint.
    for (const Rect& part : parts) {
        gtk_widget_queue_draw_area(area_, part.left / scale_, part.top / scale_,
                                   Logical(part.right, scale_) - part.left / scale_,
                                   Logical(part.bottom, scale_) - part.top / scale_);
    }
}

void ClockWindow::SetInputRegion() {
    MarkHandSamples(state_, state_.Diameter, state_.Diameter, grab_);
    VisibleRuns(*state_.FrameBuffer, &grab_, runs_);
    if (runs_ == inputRuns_ && gtk_widget_get_realized(window_.get())) {
        return;
    }
    inputRuns_ = runs_;
    const Region region(cairo_region_create());
    for (const PixelRun& run : runs_) {
        const cairo_rectangle_int_t r{run.x / scale_, run.y / scale_,
                                      std::max(run.width / scale_, 1), 1};
        cairo_region_union_rectangle(region.get(), &r);
    }
    gtk_widget_input_shape_combine_region(window_.get(), region.get());
}

void ClockWindow::Paint(cairo_t* cairo) {
    if (composedNew_) {
        painted_ = composed_;
        composedNew_ = false;
    }
    if (painted_.width <= 0) {
        return;
    }
    // This paint's commit carries the margins last set.
    paintedAt_ = place_;
    const Surface picture(cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(painted_.pixels.data()), CAIRO_FORMAT_ARGB32,
        painted_.width, painted_.height, painted_.width * 4));
    cairo_surface_set_device_scale(picture.get(), scale_, scale_);
    cairo_set_operator(cairo, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cairo, picture.get(), 0, 0);
    cairo_paint(cairo);
}

void ClockWindow::Pressed(const GdkEventButton& event) {
    if (event.type != GDK_BUTTON_PRESS || event.button != GDK_BUTTON_PRIMARY) {
        return;
    }
    const Place at{static_cast<int32_t>(event.x * scale_), static_cast<int32_t>(event.y * scale_)};
    if (!FindHandSample(state_, at.left, at.top)) {
        return;
    }
    dragging_ = true;
    grabbed_ = at;
    dragFrom_ = place_;
    travelX_ = travelY_ = 0;
    wl_pointer* pointer = gdk_wayland_device_get_wl_pointer(
        gdk_seat_get_pointer(gdk_display_get_default_seat(display_)));
    if (relativePointers_ != nullptr && pointer != nullptr && relativePointer_ == nullptr) {
        relativePointer_ =
            zwp_relative_pointer_manager_v1_get_relative_pointer(relativePointers_, pointer);
        static constexpr zwp_relative_pointer_v1_listener kMoved{
            [](void* data, zwp_relative_pointer_v1*, uint32_t, uint32_t, wl_fixed_t dx,
               wl_fixed_t dy, wl_fixed_t, wl_fixed_t) {
                ClockWindow* self = Of(data);
                self->travelX_ += wl_fixed_to_double(dx);
                self->travelY_ += wl_fixed_to_double(dy);
                Guarded(self->controller_, [self] {
                    const auto travel = [self](double logical) {
                        return static_cast<int32_t>(std::lround(logical * self->scale_));
                    };
                    self->Follow({self->dragFrom_.left + travel(self->travelX_),
                                  self->dragFrom_.top + travel(self->travelY_)});
                });
            }};
        zwp_relative_pointer_v1_add_listener(relativePointer_, &kMoved, this);
    }
}

void ClockWindow::Dragged(const GdkEventMotion& event) {
    if (dragging_ && relativePointer_ == nullptr) {
        Follow({dragFrom_.left + static_cast<int32_t>(event.x * scale_) - grabbed_.left,
                dragFrom_.top + static_cast<int32_t>(event.y * scale_) - grabbed_.top});
    }
}

void ClockWindow::Follow(Place to) {
    if (dragging_ && to != place_) {
        PutAt(to, true);
        controller_.Moved(to);
    }
}

void ClockWindow::Released() {
    if (!dragging_) {
        return;
    }
    dragging_ = false;
    if (relativePointer_ != nullptr) {
        zwp_relative_pointer_v1_destroy(relativePointer_);
        relativePointer_ = nullptr;
    }
    // Let go over another output, the clock goes there; the controller keeps the edge
    // from here, and stores the place.
    PutAt(place_);
    controller_.Moved(place_);
}

void ClockWindow::Closed() {
    // A layer surface is closed by its compositor: mostly when its output goes (the
    // monitors' change, which the toolkit hears of a moment later, puts it on another).
    // Closed otherwise it is made again, unless the compositor keeps closing it: then
    // the program ends, as it would if a window manager closed its window.
    closing_ = After(kClosedSettle, controller_, [this] {
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
        if (shown_) {
            gtk_widget_hide(window_.get());
            paintedAt_.reset();
            gtk_widget_show_all(window_.get());
        }
    });
}

std::optional<Rect> ClockWindow::FrontWindow() {
    return front_->Read(outputs_);
}

} // namespace lumivane::wayland
