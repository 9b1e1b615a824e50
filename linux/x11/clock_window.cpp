#include "linux/x11/clock_window.h"

#include <gdk/gdkx.h>

#include <algorithm>

#include "core/clock/hand_hit.h"
#include "core/controller/facts.h"
#include "linux/accessibility.h"
#include "linux/x11/beneath.h"
#include "linux/x11/front_window.h"
#include "linux/x11/monitors.h"
#include "linux/x11/window_surface.h"

namespace lumivane::x11 {

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

} // namespace

ClockWindow::ClockWindow(ClockState& state, std::function<void()> closed)
    : DesktopClock(state), closed_(std::move(closed)) {
    GdkDisplay* display = gdk_display_get_default();
    xwayland_ = IsXWayland(display);
    if (!xwayland_) {
        reader_ =
            std::make_unique<BeneathReader>(display, [this] { controller_.BeneathChanged(); });
    }
    traits_ = {.tellsChangesBeneath = reader_ && reader_->TellsChanges(),
               .seeThrough = xwayland_,
               .shapesInput = true};
    // Through XWayland a managed window goes where the compositor puts it (sway centres
    // it), below newer ones; an override-redirect one stays at its place, above them.
    window_.reset(gtk_window_new(xwayland_ ? GTK_WINDOW_POPUP : GTK_WINDOW_TOPLEVEL));
    GtkWindow* window = Window();
    if (GdkVisual* rgba = gdk_screen_get_rgba_visual(gdk_display_get_default_screen(display));
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
    gtk::SetClockRole(window_.get());
    gtk_widget_add_events(window_.get(), GDK_STRUCTURE_MASK);
    HearPointer(window_.get());
    g_signal_connect(
        window_.get(), "configure-event",
        G_CALLBACK(+[](GtkWidget*, GdkEventConfigure* event, gpointer self) {
            Of(self)->Guard([=] { Of(self)->controller_.Moved({event->x, event->y}); });
            return FALSE;
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
                         Of(self)->Guard(Of(self)->closed_);
                         return TRUE;
                     }),
                     this);
    g_signal_connect(window_.get(), "map-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) {
                         Of(self)->Guard([=] { Of(self)->KeepAskedPlace(); });
                         return FALSE;
                     }),
                     this);
    front_ = std::make_unique<FrontWindowWatch>(display, controller_,
                                                [this] { controller_.CheckFullScreen(); });
    gdk_window_add_filter(nullptr, FilterEvent, this);
    g_signal_connect(gdk_display_get_default_screen(display), "monitors-changed",
                     G_CALLBACK(+[](GdkScreen*, gpointer self) {
                         Of(self)->Guard([=] { Of(self)->controller_.MonitorsChanged(); });
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
    if (reader_) {
        reader_->SetClockWindow(xid);
    }
}

std::string ClockWindow::Note() const {
    if (xwayland_) {
        return kThroughXWaylandNote;
    }
    return reader_->SeesBeneath() ? "" : kNoCompositeNote;
}

std::vector<Rect> ClockWindow::Monitors() {
    return x11::Monitors(gtk_widget_get_display(window_.get()));
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
    if (reader_->SeesBeneath()) {
        return reader_->ReadBeneath(background, at.left, at.top);
    }
    surface_->Hide(); // shown again whole by the next Present
    XSync(display_, False);
    g_usleep(kUncoveredRepaintWait * 1000);
    reader_->ReadScreen(background, at.left, at.top);
    return true;
}

void ClockWindow::Present(const Frame& frame) {
    surface_->Present(*state_.FrameBuffer, frame.picture, *frame.hands, frame.parts);
}

void ClockWindow::Pressed(const GdkEventButton& event) {
    const Place pixel{static_cast<int32_t>(event.x), static_cast<int32_t>(event.y)};
    if (xwayland_) {
        controller_.HandPressed(
            pixel, {static_cast<int32_t>(event.x_root), static_cast<int32_t>(event.y_root)});
    } else if (FindHandSample(state_, pixel.left, pixel.top)) {
        // The window manager moves the window, so that tiling and snapping managers take
        // part; without one GTK moves it.
        gtk_window_begin_move_drag(Window(), static_cast<int>(event.button),
                                   static_cast<int>(event.x_root), static_cast<int>(event.y_root),
                                   event.time);
    }
}

std::optional<Place> ClockWindow::PointerAt(const GdkEventMotion& event) const {
    return Place{static_cast<int32_t>(event.x_root), static_cast<int32_t>(event.y_root)};
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

} // namespace lumivane::x11
