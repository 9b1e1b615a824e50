#include "linux/wayland/clock_window.h"

#include <gdk/gdkwayland.h>

#include <cmath>
#include <utility>

#include "core/controller/facts.h"
#include "linux/accessibility.h"
#include "linux/wayland/beneath.h"
#include "linux/wayland/front_window.h"
#include "linux/wayland/globals.h"
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

} // namespace

void DestroyRelativePointers(zwp_relative_pointer_manager_v1* manager) {
    zwp_relative_pointer_manager_v1_destroy(manager);
}

void DestroyRelativePointer(zwp_relative_pointer_v1* pointer) {
    zwp_relative_pointer_v1_destroy(pointer);
}

ClockWindow::ClockWindow(ClockState& state, std::function<void()> closed)
    : DesktopClock(state), closed_(std::move(closed)), surface_(gdk_display_get_default()) {
    GdkDisplay* display = gdk_display_get_default();
    gtk::SetClockRole(GTK_WIDGET(Window()));
    HearPointer(surface_.Area());
    g_signal_connect(Window(), "delete-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) {
                         Of(self)->Closed();
                         return TRUE;
                     }),
                     this);
    relativePointers_.reset(Bind<zwp_relative_pointer_manager_v1>(
        display, zwp_relative_pointer_manager_v1_interface, 1, 1));
    reader_ = std::make_unique<BeneathReader>(display, [this](const ScreenCapture* copy) {
        bool news = true;
        Guard([&] {
            std::optional<ScreenCapture> shown;
            if (copy != nullptr) {
                shown = *copy;
                shown->clockAt = surface_.ShownAt();
            }
            news = controller_.ScreenChanged(shown ? &*shown : nullptr);
        });
        return news;
    });
    front_ = std::make_unique<FrontWindowWatch>(
        display, [this] { Guard([this] { controller_.CheckFullScreen(); }); });
    const auto changed = +[](GdkDisplay*, GdkMonitor*, gpointer self) {
        Of(self)->Guard([=] { Of(self)->controller_.MonitorsChanged(); });
    };
    g_signal_connect(display, "monitor-added", G_CALLBACK(changed), this);
    g_signal_connect(display, "monitor-removed", G_CALLBACK(changed), this);
    traits_ = {
        .tellsChangesBeneath = reader_->TellsChanges(), .seeThrough = true, .shapesInput = true};
    controller_.Start();
}

ClockWindow::~ClockWindow() {
    g_signal_handlers_disconnect_by_data(gdk_display_get_default(), this);
    g_signal_handlers_disconnect_by_data(Window(), this);
}

std::string ClockWindow::Note() const {
    std::string note = reader_->SeesBeneath() ? "" : kNoCaptureNote;
    if (!front_->Watching()) {
        note += std::string(note.empty() ? "" : "\n") + kNoFullScreenNote;
    }
    return note;
}

std::vector<Rect> ClockWindow::Monitors() {
    remapped_ |= surface_.ReadOutputs();
    return Rectangles(surface_.Outputs());
}

void ClockWindow::ShowWindow(bool shown) {
    if (shown) {
        surface_.Put(controller_.Where());
    }
    surface_.Show(shown);
}

std::optional<ScreenCapture> ClockWindow::CaptureScreen(const Rect& area) {
    const Output& output = surface_.OutputAt({area.left, area.top});
    std::optional<ScreenCapture> capture = reader_->Capture(output, area);
    if (capture) {
        capture->clockAt = surface_.ShownAt();
        reader_->Watch(output, area);
    }
    return capture;
}

void ClockWindow::Present(const Frame& frame) {
    VisibleRuns(*state_.FrameBuffer, frame.hands, hands_);
    surface_.Present(*frame.picture, frame.parts, hands_);
}

void ClockWindow::Pressed(const GdkEventButton& event) {
    const int32_t scale = surface_.Scale();
    const Place at{static_cast<int32_t>(event.x * scale), static_cast<int32_t>(event.y * scale)};
    wl_pointer* pointer = gdk_wayland_device_get_wl_pointer(
        gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
    // Without the relative pointer the pointer's place in the surface stands for it.
    if (!controller_.HandPressed(at, relativePointers_ && pointer != nullptr ? Place{} : at) ||
        !relativePointers_ || pointer == nullptr) {
        return;
    }
    travelX_ = travelY_ = 0;
    travelling_.reset(
        zwp_relative_pointer_manager_v1_get_relative_pointer(relativePointers_.get(), pointer));
    static constexpr zwp_relative_pointer_v1_listener kMoved{
        [](void* data, zwp_relative_pointer_v1*, uint32_t, uint32_t, wl_fixed_t dx, wl_fixed_t dy,
           wl_fixed_t, wl_fixed_t) {
            ClockWindow* self = Of(data);
            self->travelX_ += wl_fixed_to_double(dx);
            self->travelY_ += wl_fixed_to_double(dy);
            const int32_t scale = self->surface_.Scale();
            self->Guard([=] {
                self->controller_.PointerMoved(
                    {static_cast<int32_t>(std::lround(self->travelX_ * scale)),
                     static_cast<int32_t>(std::lround(self->travelY_ * scale))});
            });
        }};
    zwp_relative_pointer_v1_add_listener(travelling_.get(), &kMoved, this);
}

std::optional<Place> ClockWindow::PointerAt(const GdkEventMotion& event) const {
    // Relative to the surface at the press: a compositor that gives it relative to where
    // the surface is now moves the clock by less.
    if (travelling_) {
        return std::nullopt;
    }
    const int32_t scale = surface_.Scale();
    return Place{static_cast<int32_t>(event.x * scale), static_cast<int32_t>(event.y * scale)};
}

void ClockWindow::Released() {
    travelling_.reset();
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
        surface_.Remap();
    });
}

std::optional<Rect> ClockWindow::FrontWindow() {
    return front_->Read(surface_.Outputs());
}

} // namespace lumivane::wayland
