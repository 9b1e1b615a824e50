#include "linux/x11/clock_window.h"

#include <gdk/gdkx.h>

#include <algorithm>

#include "core/clock/hand_hit.h"
#include "core/controller/facts.h"
#include "linux/accessibility.h"
#include "linux/x11/front_window.h"
#include "linux/x11/monitors.h"
#include "linux/x11/beneath.h"
#include "linux/x11/window_surface.h"

namespace lumivane {

namespace {

// Above the other windows and on every workspace. Asked again after the window was
// hidden: the toolkit forgets what the window manager dropped when it let go of it.
void KeepAboveOnEveryWorkspace(GtkWindow* window) {
    gtk_window_set_keep_above(window, TRUE);
    gtk_window_stick(window);
}

// The clock window a GTK callback is for.
ClockWindow* Of(gpointer self) {
    return static_cast<ClockWindow*>(self);
}

// Whether the X server is XWayland, inside a Wayland session: it has an extension of that
// name since version 23, and before names its RandR outputs so.
bool IsXWayland(GdkDisplay* display) {
    int opcode = 0;
    int event = 0;
    int error = 0;
    if (XQueryExtension(gdk_x11_display_get_xdisplay(display), "XWAYLAND", &opcode, &event,
                        &error) != 0) {
        return true;
    }
    for (int i = 0; i < gdk_display_get_n_monitors(display); ++i) {
        const char* model = gdk_monitor_get_model(gdk_display_get_monitor(display, i));
        if (model != nullptr && g_str_has_prefix(model, "XWAYLAND")) {
            return true;
        }
    }
    return false;
}

} // namespace

ClockWindow::ClockWindow(ClockState& state, std::function<void()> closed)
    : DesktopClock(state), closed_(std::move(closed)) {
    xwayland_ = IsXWayland(gdk_display_get_default());
    // Through XWayland a managed window goes where the compositor puts it (sway centres
    // it), below newer ones; an override-redirect one stays at its place, above them.
    window_.reset(gtk_window_new(xwayland_ ? GTK_WINDOW_POPUP : GTK_WINDOW_TOPLEVEL));
    GtkWindow* window = Window();
    if (GdkVisual* rgba =
            gdk_screen_get_rgba_visual(gdk_display_get_default_screen(gdk_display_get_default()));
        xwayland_ && rgba != nullptr) {
        gtk_widget_set_visual(window_.get(), rgba);
    }
    gtk_window_set_title(window, kTitle);
    gtk_window_set_decorated(window, FALSE);
    gtk_window_set_resizable(window, FALSE);
    KeepAboveOnEveryWorkspace(window);
    gtk_window_set_skip_taskbar_hint(window, TRUE);
    gtk_window_set_skip_pager_hint(window, TRUE);
    gtk_window_set_accept_focus(window, FALSE);
    gtk_window_set_focus_on_map(window, FALSE);
    gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_UTILITY);
    gtk_widget_set_app_paintable(window_.get(), TRUE);
    PresentClock(window_.get());
    gtk_widget_add_events(window_.get(), GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                             GDK_POINTER_MOTION_MASK | GDK_STRUCTURE_MASK);
    g_signal_connect(window_.get(), "configure-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEventConfigure* event, gpointer self) {
                         ClockController& controller = Of(self)->controller_;
                         Guarded(controller, [&] { controller.Moved({event->x, event->y}); });
                         return FALSE;
                     }),
                     this);
    g_signal_connect(
        window_.get(), "button-press-event",
        G_CALLBACK(+[](GtkWidget*, GdkEventButton* event, gpointer self) {
            ClockWindow* clock = Of(self);
            if (event->type == GDK_BUTTON_PRESS && event->button == GDK_BUTTON_PRIMARY &&
                FindHandSample(clock->state_, static_cast<int32_t>(event->x),
                               static_cast<int32_t>(event->y))) {
                if (clock->xwayland_) {
                    clock->dragFrom_ = clock->controller_.Where();
                    clock->pointerFrom_.left = static_cast<int32_t>(event->x_root);
                    clock->pointerFrom_.top = static_cast<int32_t>(event->y_root);
                    return TRUE;
                }
                // The window manager moves the window, so that tiling and snapping
                // managers take part; without one GTK moves it.
                gtk_window_begin_move_drag(clock->Window(), static_cast<int>(event->button),
                                           static_cast<int>(event->x_root),
                                           static_cast<int>(event->y_root), event->time);
            }
            return TRUE;
        }),
        this);
    g_signal_connect(window_.get(), "motion-notify-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEventMotion* event, gpointer self) {
                         Of(self)->Dragged(*event);
                         return TRUE;
                     }),
                     this);
    g_signal_connect(window_.get(), "button-release-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEventButton*, gpointer self) {
                         Of(self)->dragFrom_.reset();
                         return TRUE;
                     }),
                     this);
    g_signal_connect(window_.get(), "draw",
                     G_CALLBACK(+[](GtkWidget*, cairo_t* cairo, gpointer self) {
                         Of(self)->surface_->Paint(cairo);
                         return TRUE;
                     }),
                     this);
    g_signal_connect(window_.get(), "delete-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) {
                         Guarded(Of(self)->controller_, Of(self)->closed_);
                         return TRUE;
                     }),
                     this);
    g_signal_connect(window_.get(), "map-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) {
                         Guarded(Of(self)->controller_, [self] { Of(self)->KeepAskedPlace(); });
                         return FALSE;
                     }),
                     this);
    GdkDisplay* display = gtk_widget_get_display(window_.get());
    front_ = std::make_unique<FrontWindowWatch>(display, controller_,
                                                [this] { controller_.CheckFullScreen(); });
    gdk_window_add_filter(nullptr, FilterEvent, this);
    g_signal_connect(gdk_display_get_default_screen(display), "monitors-changed",
                     G_CALLBACK(+[](GdkScreen*, gpointer self) {
                         ClockController& controller = Of(self)->controller_;
                         Guarded(controller, [&] { controller.MonitorsChanged(); });
                     }),
                     this);
    controller_.Start();
}

ClockWindow::~ClockWindow() {
    gdk_window_remove_filter(nullptr, FilterEvent, this);
    g_signal_handlers_disconnect_by_data(window_.get(), this);
    g_signal_handlers_disconnect_by_data(
        gdk_display_get_default_screen(gtk_widget_get_display(window_.get())), this);
}

void ClockWindow::Realize() {
    gtk_widget_realize(window_.get());
    GdkWindow* gdkWindow = gtk_widget_get_window(window_.get());
    GdkDisplay* display = gdk_window_get_display(gdkWindow);
    display_ = gdk_x11_display_get_xdisplay(display);
    const ::Window xid = gdk_x11_window_get_xid(gdkWindow);
    surface_ = std::make_unique<WindowSurface>(display, xid);
    if (!xwayland_) {
        reader_ =
            std::make_unique<ScreenReader>(display, xid, [this] { controller_.BeneathChanged(); });
    }
}

std::string ClockWindow::Note() const {
    if (xwayland_) {
        return "This Wayland compositor offers no layer-shell, so the clock runs through "
               "XWayland, where no program may see beneath its window: the compositor darkens "
               "what lies beneath the dial, but the marks and hands are lit as over black, "
               "clicks on the dial reach only X11 windows, and the clock hides only over "
               "full-screen X11 programs.";
    }
    if (!reader_->SeesBeneath()) {
        return "This display cannot keep the pictures of the windows beneath the clock, so "
               "the clock leaves the screen for a moment at each frame.";
    }
    return {};
}

PlatformTraits ClockWindow::Traits() const {
    return {.tellsChangesBeneath = reader_ && reader_->TellsChanges()};
}

std::vector<Rect> ClockWindow::Monitors() {
    return lumivane::Monitors(gtk_widget_get_display(window_.get()));
}

void ClockWindow::SizeWindow(int32_t side) {
    // GTK has no window of no size.
    const int32_t shown = std::max(side, 1);
    gtk_widget_set_size_request(window_.get(), shown, shown);
    gtk_window_resize(Window(), shown, shown);
}

void ClockWindow::MoveWindow(Place to) {
    gtk_window_move(Window(), to.left, to.top);
}

void ClockWindow::ShowWindow(bool shown) {
    // Made once its size and place are known, so that it shows at once as it should.
    if (!surface_) {
        Realize();
    }
    if (!shown) {
        gtk_widget_hide(window_.get());
        return;
    }
    // Mapped again, the window goes where it was, not where it was first put.
    const Place place = controller_.Where();
    gtk_window_move(Window(), place.left, place.top);
    KeepAboveOnEveryWorkspace(Window());
    askedPlace_ = place;
    gtk_widget_show(window_.get());
}

bool ClockWindow::ReadBeneath(TDIB& background, Place at) {
    if (xwayland_) {
        // Beneath an X window there is only its own picture: the estimate stays black.
        background.Blacken();
        return true;
    }
    if (reader_->SeesBeneath()) {
        return reader_->ReadBeneath(background, at.left, at.top);
    }
    surface_->Hide(); // shown again whole by the next Present
    XSync(display_, False);
    g_usleep(kUncoveredRepaintWait * 1000);
    reader_->ReadScreen(background, at.left, at.top);
    return true;
}

void ClockWindow::Present(std::span<const Rect> parts) {
    if (parts.empty() && !surface_->Hidden()) {
        return; // nothing to say to the server
    }
    MarkHandSamples(state_, state_.Diameter, state_.Diameter, grab_);
    if (xwayland_ && surface_->Translucent()) {
        ComposeSeeThrough(state_, parts, seeThrough_);
        surface_->PresentSeeThrough(seeThrough_, *state_.FrameBuffer, grab_);
        return;
    }
    surface_->Present(*state_.FrameBuffer, grab_, parts);
}

void ClockWindow::Dragged(const GdkEventMotion& event) {
    if (dragFrom_ && (event.state & GDK_BUTTON1_MASK) != 0) {
        MoveWindow({dragFrom_->left + static_cast<int32_t>(event.x_root) - pointerFrom_.left,
                    dragFrom_->top + static_cast<int32_t>(event.y_root) - pointerFrom_.top});
    }
}

std::optional<Rect> ClockWindow::FrontWindow() {
    return front_->Read();
}

void ClockWindow::KeepAskedPlace() {
    if (!askedPlace_) {
        return;
    }
    const Place asked = *askedPlace_;
    askedPlace_.reset();
    int32_t left = 0;
    int32_t top = 0;
    gdk_window_get_origin(gtk_widget_get_window(window_.get()), &left, &top);
    if (Place{left, top} != asked) {
        MoveWindow(asked);
    }
}

GdkFilterReturn ClockWindow::FilterEvent(GdkXEvent* event, GdkEvent*, gpointer self) {
    auto* clock = static_cast<ClockWindow*>(self);
    if (clock->reader_) {
        clock->reader_->NoteEvent(*static_cast<XEvent*>(event));
    }
    clock->front_->NoteEvent(*static_cast<XEvent*>(event));
    return GDK_FILTER_CONTINUE;
}

} // namespace lumivane
