#include "linux/desktop_clock.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "linux/accessibility.h"
#include "linux/config_files.h"

namespace lumivane::gtk {

namespace {

// A message box captioned "Lumivane" with `text`, kept above; `answered` runs once the
// user has answered it. The text goes to the standard error too.
Widget OpenMessageBox(const std::string& text, std::function<void()> answered) {
    std::fprintf(stderr, "lumivane: %s\n", text.c_str());
    GtkWidget* box = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                            GTK_BUTTONS_OK, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(box), kTitle);
    gtk_window_set_keep_above(GTK_WINDOW(box), TRUE);
    auto* then = new std::function<void()>(std::move(answered));
    g_signal_connect_data(
        box, "response", G_CALLBACK(+[](GtkDialog*, int, gpointer data) {
            // A copy: what it runs may destroy the box, and this handler's data with it.
            const std::function<void()> then = *static_cast<std::function<void()>*>(data);
            then();
        }),
        then, [](gpointer data, GClosure*) { delete static_cast<std::function<void()>*>(data); },
        GConnectFlags{});
    gtk_widget_show(box);
    return Widget(box);
}

} // namespace

DesktopClock::DesktopClock(ClockState& state) : state_(state), controller_(state, *this) {}

std::unique_ptr<SettingsStore> DesktopClock::Store() {
    return std::make_unique<SettingsFile>(SettingsFilePath(), files_);
}

TimeOfDay DesktopClock::Now() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    // localtime_r keeps the zone it read first; tzset reads it again when /etc/localtime is
    // another file (one stat), so a new zone shows at the next tick. Once a second at most.
    if (now.tv_sec != zoneLookedAt_) {
        zoneLookedAt_ = now.tv_sec;
        tzset();
    }
    std::tm local{};
    localtime_r(&now.tv_sec, &local);
    return {static_cast<uint16_t>(local.tm_hour), static_cast<uint16_t>(local.tm_min),
            static_cast<uint16_t>(std::min(local.tm_sec, 59)), // no leap second
            static_cast<uint16_t>(now.tv_nsec / 1000000)};
}

void DesktopClock::TimeShownChanged(TimeOfDay shown) {
    ShowClockTime(GTK_WIDGET(Window()), shown);
}

void DesktopClock::StartTimer(ClockTimer timer, uint32_t interval) {
    timers_[static_cast<size_t>(timer)] =
        Every(interval, controller_, [this, timer] { controller_.Fire(timer); });
}

void DesktopClock::StopTimer(ClockTimer timer) {
    timers_[static_cast<size_t>(timer)].reset();
}

bool DesktopClock::ShowProblem(const std::string& text) {
    problemBox_ = OpenMessageBox(text, [this] {
        problemBox_.reset();
        controller_.ProblemAnswered();
    });
    return false;
}

void DesktopClock::HearPointer(GtkWidget* widget) {
    gtk_widget_add_events(widget, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                      GDK_POINTER_MOTION_MASK);
    g_signal_connect(widget, "button-press-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEventButton* event, gpointer data) {
                         auto* self = static_cast<DesktopClock*>(data);
                         if (event->type == GDK_BUTTON_PRESS &&
                             event->button == GDK_BUTTON_PRIMARY) {
                             self->Guard([=] { self->Pressed(*event); });
                         }
                         return TRUE;
                     }),
                     this);
    g_signal_connect(widget, "motion-notify-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEventMotion* event, gpointer data) {
                         auto* self = static_cast<DesktopClock*>(data);
                         if (const std::optional<Place> at = self->PointerAt(*event)) {
                             self->Guard([=] { self->controller_.PointerMoved(*at); });
                         }
                         return TRUE;
                     }),
                     this);
    for (const char* released : {"button-release-event", "grab-broken-event"}) {
        g_signal_connect(widget, released, G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer data) {
                             auto* self = static_cast<DesktopClock*>(data);
                             self->Guard([=] { self->Released(); });
                             return FALSE;
                         }),
                         this);
    }
}

} // namespace lumivane::gtk
