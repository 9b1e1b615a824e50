#include "linux/clock_window.h"

#include <gdk/gdkx.h>

#include <algorithm>
#include <ctime>

#include "clock_window/hand_hit.h"
#include "clock_window/monitors.h"
#include "linux/front_window.h"
#include "linux/problems.h"
#include "linux/screen_reader.h"
#include "linux/window_surface.h"
#include "linux/x_monitors.h"
#include "render/render.h"

namespace lumivane {

namespace {

constexpr uint32_t kKeepInsideInterval = 30;
constexpr uint32_t kStorePlaceInterval = 5000;
// Time the windows beneath get to repaint what the clock uncovers when it must be taken
// away to read them, ms.
constexpr uint32_t kUncoveredRepaintWait = 10;

// Above the other windows and on every workspace. Asked again after the window was
// hidden: the toolkit forgets what the window manager dropped when it let go of it.
void KeepAboveOnEveryWorkspace(GtkWindow* window) {
    gtk_window_set_keep_above(window, TRUE);
    gtk_window_stick(window);
}

} // namespace

ClockWindow::ClockWindow(ClockState& state, Problems& problems, Place place, Hooks hooks)
    : state_(state), problems_(problems), hooks_(std::move(hooks)), place_(place) {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    monitors_ = Monitors(gtk_widget_get_display(window_));
    GtkWindow* window = Window();
    gtk_window_set_title(window, "Lumivane");
    gtk_window_set_decorated(window, FALSE);
    gtk_window_set_resizable(window, FALSE);
    KeepAboveOnEveryWorkspace(window);
    gtk_window_set_skip_taskbar_hint(window, TRUE);
    gtk_window_set_skip_pager_hint(window, TRUE);
    gtk_window_set_accept_focus(window, FALSE);
    gtk_window_set_focus_on_map(window, FALSE);
    gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_UTILITY);
    gtk_widget_set_app_paintable(window_, TRUE);
    gtk_widget_add_events(window_, GDK_BUTTON_PRESS_MASK | GDK_STRUCTURE_MASK);
    const int32_t side = std::max(state_.Diameter, 1);
    gtk_widget_set_size_request(window_, side, side);
    gtk_window_move(window, place_.left, place_.top);
    g_signal_connect(window_, "configure-event", G_CALLBACK(Configured), this);
    g_signal_connect(window_, "button-press-event", G_CALLBACK(Pressed), this);
    g_signal_connect(window_, "draw", G_CALLBACK(Drawn), this);
    g_signal_connect(window_, "delete-event", G_CALLBACK(Deleted), this);
    g_signal_connect(window_, "map-event", G_CALLBACK(Mapped), this);
    Realize();

    SetTickInterval(FrameIntervalRule(state_.Size));
    WatchPlace();
    g_signal_connect(gdk_display_get_default_screen(gtk_widget_get_display(window_)),
                     "monitors-changed", G_CALLBACK(ScreenChanged), this);
    storePlace_ = Every(kStorePlaceInterval, problems_, [this] { StorePlaceIfMoved(); });
    CheckFullScreen(); // a full-screen program may be in front already
    if (!hiddenOverFullScreen_) {
        Show();
    }
}

ClockWindow::~ClockWindow() {
    gdk_window_remove_filter(nullptr, FilterEvent, this);
    g_signal_handlers_disconnect_by_data(
        gdk_display_get_default_screen(gtk_widget_get_display(window_)), this);
    tick_.Reset();
    keepInside_.Reset();
    storePlace_.Reset();
    front_.reset();
    reader_.reset();
    surface_.reset();
    gtk_widget_destroy(window_);
}

void ClockWindow::Realize() {
    gtk_widget_realize(window_);
    GdkWindow* gdkWindow = gtk_widget_get_window(window_);
    GdkDisplay* display = gdk_window_get_display(gdkWindow);
    display_ = gdk_x11_display_get_xdisplay(display);
    const ::Window xid = gdk_x11_window_get_xid(gdkWindow);
    surface_ = std::make_unique<WindowSurface>(display, xid);
    reader_ = std::make_unique<ScreenReader>(display, xid);
    front_ = std::make_unique<FrontWindowWatch>(display, problems_, [this] { CheckFullScreen(); });
    gdk_window_add_filter(nullptr, FilterEvent, this);
}

bool ClockWindow::SeesBeneath() const {
    return reader_->SeesBeneath();
}

void ClockWindow::SetTickInterval(int32_t interval) {
    tickInterval_ = interval;
    tick_ = Every(static_cast<uint32_t>(interval), problems_, [this] { Tick(); });
}

void ClockWindow::Tick() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    state_.Hour = static_cast<uint16_t>(local.tm_hour);
    state_.Minute = static_cast<uint16_t>(local.tm_min);
    state_.Second = static_cast<uint16_t>(std::min(local.tm_sec, 59)); // no leap second
    Draw();
}

void ClockWindow::WatchPlace() {
    if (!keepInside_) {
        keepInside_ = Every(kKeepInsideInterval, problems_, [this] { KeepInsideMonitor(); });
    }
}

void ClockWindow::Resize() {
    WatchPlace();
    ResizeBuffers(state_);
    const int32_t side = std::max(state_.Diameter, 1);
    gtk_widget_set_size_request(window_, side, side);
    gtk_window_resize(Window(), side, side);
    SetTickInterval(FrameIntervalRule(state_.Size));
}

void ClockWindow::Draw() {
    // Hidden, it neither reads the screen nor draws.
    if (hiddenOverFullScreen_ || state_.FrameBuffer == nullptr ||
        state_.BackgroundBuffer == nullptr) {
        return;
    }
    if (state_.Diameter != state_.PrevDiameter) {
        Resize();
    }
    if (!BuffersFitDiameter(state_)) {
        return;
    }
    ReadBeneath();
    RenderChangedFrame(state_);
    MarkHandSamples(state_, state_.Diameter, state_.Diameter, grab_);
    surface_->Present(*state_.FrameBuffer, grab_);
}

void ClockWindow::ReadBeneath() {
    TDIB& background = *state_.BackgroundBuffer;
    if (reader_->SeesBeneath()) {
        reader_->ReadBeneath(background, place_.left, place_.top);
        return;
    }
    surface_->Hide();
    XSync(display_, False);
    g_usleep(kUncoveredRepaintWait * 1000);
    reader_->ReadScreen(background, place_.left, place_.top);
}

Area ClockWindow::Monitor() const {
    const int32_t side = std::max(state_.Diameter, 0);
    return monitors_[OwningMonitor(monitors_, place_, side, side).value()];
}

void ClockWindow::KeepInsideMonitor() {
    const int32_t side = std::max(state_.Diameter, 0);
    const Place next = KeepInside(place_, side, side, Monitor());
    if (next != place_) {
        MoveTo(next);
        return;
    }
    if (MovedFromSavedPlace(state_, place_)) {
        Draw();
    } else {
        // At rest where it is stored: nothing to do until the window moves again.
        keepInside_.Reset();
    }
}

void ClockWindow::MonitorsChanged() {
    monitors_ = Monitors(gtk_widget_get_display(window_));
    const int32_t side = std::max(state_.Diameter, 0);
    const Place next = KeepOnMonitors(monitors_, place_, side, side);
    if (next != place_) {
        MoveTo(next);
    }
    WatchPlace();
}

void ClockWindow::MoveTo(Place to) {
    place_ = to;
    gtk_window_move(Window(), place_.left, place_.top);
    Draw();
}

void ClockWindow::CheckFullScreen() {
    const bool hide = HidesOverFullScreen(state_.HideFullScreen, front_->Read(), Monitor());
    if (hide == hiddenOverFullScreen_) {
        return;
    }
    hiddenOverFullScreen_ = hide;
    if (hide) {
        keepInside_.Reset();
        gtk_widget_hide(window_);
        return;
    }
    Show();
    WatchPlace();
    Draw(); // what it hid with is stale
}

void ClockWindow::Show() {
    // Mapped again, the window goes where it was, not where it was first put.
    gtk_window_move(Window(), place_.left, place_.top);
    KeepAboveOnEveryWorkspace(Window());
    askedPlace_ = place_;
    gtk_widget_show(window_);
}

void ClockWindow::KeepAskedPlace() {
    if (!askedPlace_) {
        return;
    }
    const Place asked = *askedPlace_;
    askedPlace_.reset();
    int32_t left = 0;
    int32_t top = 0;
    gdk_window_get_origin(gtk_widget_get_window(window_), &left, &top);
    if (Place{left, top} != asked) {
        MoveTo(asked);
    }
}

void ClockWindow::StorePlaceIfMoved() {
    if (!MovedFromSavedPlace(state_, place_)) {
        return;
    }
    // Taken before the store: a store that fails is not retried until the clock moves.
    state_.SavedLeft = place_.left;
    state_.SavedTop = place_.top;
    hooks_.storePlace(place_);
}

GdkFilterReturn ClockWindow::FilterEvent(GdkXEvent* event, GdkEvent*, gpointer self) {
    auto* clock = static_cast<ClockWindow*>(self);
    clock->reader_->NoteEvent(*static_cast<XEvent*>(event));
    clock->front_->NoteEvent(*static_cast<XEvent*>(event));
    return GDK_FILTER_CONTINUE;
}

gboolean ClockWindow::Configured(GtkWidget*, GdkEventConfigure* event, gpointer self) {
    auto* clock = static_cast<ClockWindow*>(self);
    const Place at{event->x, event->y};
    if (at != clock->place_) {
        const Area was = clock->Monitor();
        clock->place_ = at;
        clock->WatchPlace();
        // The window in front is followed by its own events; only another monitor can
        // change what it covers.
        if (clock->Monitor() != was) {
            Guarded(clock->problems_, [clock] { clock->CheckFullScreen(); });
        }
    }
    return FALSE;
}

void ClockWindow::ScreenChanged(GdkScreen*, gpointer self) {
    auto* clock = static_cast<ClockWindow*>(self);
    Guarded(clock->problems_, [clock] { clock->MonitorsChanged(); });
}

gboolean ClockWindow::Pressed(GtkWidget*, GdkEventButton* event, gpointer self) {
    auto* clock = static_cast<ClockWindow*>(self);
    if (event->type == GDK_BUTTON_PRESS && event->button == GDK_BUTTON_PRIMARY &&
        FindHandSample(clock->state_, static_cast<int32_t>(event->x),
                       static_cast<int32_t>(event->y))) {
        // The window manager moves the window, so that tiling and snapping managers
        // take part; without one GTK moves it.
        gtk_window_begin_move_drag(clock->Window(), static_cast<int>(event->button),
                                   static_cast<int>(event->x_root), static_cast<int>(event->y_root),
                                   event->time);
    }
    return TRUE;
}

gboolean ClockWindow::Drawn(GtkWidget*, cairo_t* cairo, gpointer self) {
    static_cast<ClockWindow*>(self)->surface_->Paint(cairo);
    return TRUE;
}

gboolean ClockWindow::Mapped(GtkWidget*, GdkEvent*, gpointer self) {
    auto* clock = static_cast<ClockWindow*>(self);
    Guarded(clock->problems_, [clock] { clock->KeepAskedPlace(); });
    return FALSE;
}

gboolean ClockWindow::Deleted(GtkWidget*, GdkEvent*, gpointer self) {
    auto* clock = static_cast<ClockWindow*>(self);
    Guarded(clock->problems_, [clock] { clock->hooks_.closed(); });
    return TRUE;
}

} // namespace lumivane
