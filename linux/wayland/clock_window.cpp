#include "linux/wayland/clock_window.h"

#include <gdk/gdkwayland.h>
#include <gtk-layer-shell/gtk-layer-shell.h>

#include <algorithm>
#include <utility>

#include "core/clock/hand_hit.h"
#include "core/clock/placement.h"
#include "core/controller/facts.h"
#include "linux/wayland/front_window.h"
#include "linux/wayland/screen_reader.h"

namespace lumivane::wayland {

namespace {

ClockWindow* Of(gpointer self) {
    return static_cast<ClockWindow*>(self);
}

// How long after the compositor closed the surface the toolkit has surely heard whether
// its output went, ms.
constexpr uint32_t kClosedSettle = 100;

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
    g_signal_connect(
        window_.get(), "realize", G_CALLBACK(+[](GtkWidget* widget, gpointer self) {
            GdkFrameClock* clock = gdk_window_get_frame_clock(gtk_widget_get_window(widget));
            g_signal_connect(
                clock, "after-paint",
                G_CALLBACK(+[](GdkFrameClock*, gpointer data) { Of(data)->Committed(); }), self);
        }),
        this);
    reader_ = std::make_unique<ScreenReader>(display_);
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
    g_signal_handlers_disconnect_by_data(display_, this);
    if (GdkWindow* window = gtk_widget_get_window(window_.get())) {
        g_signal_handlers_disconnect_by_data(gdk_window_get_frame_clock(window), this);
    }
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

void ClockWindow::PutAt(Place to) {
    place_ = to;
    const Output& output = OutputAt(to);
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
    moveToCommit_ = true;
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
}

void ClockWindow::ReadBeneath(TDIB& background, Place at) {
    // A new size leaves nothing known.
    if (estimateSide_ != background.Width()) {
        estimate_.known = false;
        estimateSide_ = background.Width();
    }
    std::optional<ScreenCapture> capture;
    if (reader_->SeesBeneath()) {
        capture = reader_->Capture(OutputAt(at), {at.left, at.top, at.left + background.Width(),
                                                  at.top + background.Height()});
    }
    if (!capture) {
        // Nothing better is known: black at first, then the last estimate.
        if (!estimate_.known) {
            background.Blacken();
            estimate_ = {true, at};
        }
        return;
    }
    const ShownClock shown{paintedAt_ ? &painted_ : nullptr, paintedAt_.value_or(Place{})};
    RecoverBeneath(background, estimate_, at, *capture, shown);
    estimate_ = {true, at};
}

void ClockWindow::Present(std::span<const Rect> parts) {
    if (parts.empty() && composed_.width == state_.Diameter) {
        return;
    }
    ComposeSeeThrough(state_, parts, composed_);
    composedNew_ = true;
    SetInputRegion();
    gtk_widget_queue_draw(area_);
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

void ClockWindow::Committed() {
    if (!moveToCommit_) {
        return;
    }
    moveToCommit_ = false;
    committedPlace_ = place_;
    // The compositor handles requests in order: once the round trip sent after the commit
    // is back, every pointer event that follows is relative to the new place.
    confirming_ = Proxy<wl_callback>(wl_display_sync(gdk_wayland_display_get_wl_display(display_)));
    static constexpr wl_callback_listener kConfirmed{[](void* data, wl_callback*, uint32_t) {
        ClockWindow* self = Of(data);
        self->eventPlace_ = self->committedPlace_;
        self->confirming_.reset();
    }};
    wl_callback_add_listener(confirming_.get(), &kConfirmed, this);
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
    eventPlace_ = confirming_ ? committedPlace_ : place_;
}

void ClockWindow::Dragged(const GdkEventMotion& event) {
    // An event that comes while a move is on its way may be relative to either place.
    if (!dragging_ || confirming_ || moveToCommit_) {
        return;
    }
    const Place to{eventPlace_.left + static_cast<int32_t>(event.x * scale_) - grabbed_.left,
                   eventPlace_.top + static_cast<int32_t>(event.y * scale_) - grabbed_.top};
    if (to != place_) {
        PutAt(to);
        controller_.Moved(to);
    }
}

void ClockWindow::Released() {
    if (!dragging_) {
        return;
    }
    dragging_ = false;
    // The controller keeps the edge from here, and stores the place.
    controller_.Moved(place_);
}

void ClockWindow::Closed() {
    // A layer surface is closed by its compositor: when its output goes (the monitors'
    // change puts it on another), or for good. Which, the toolkit knows a moment later.
    closing_ = After(kClosedSettle, controller_, [this] {
        controller_.MonitorsChanged();
        const bool outputGone = std::exchange(remapped_, false);
        if (!outputGone) {
            closed_();
        }
    });
}

std::optional<Rect> ClockWindow::FrontWindow() {
    return front_->Read(outputs_);
}

} // namespace lumivane::wayland
