// Lumivane on Linux: the program entry. The clock needs an X11 display, where an
// ordinary program may read what lies beneath its window; under Wayland without X11 it
// says so and ends with status 2.
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/clock/clock_state.h"
#include "core/controller/facts.h"
#include "core/render/precision.h"
#include "linux/application.h"

namespace {

constexpr int kNoX11 = 2;

constexpr const char* kWaylandOnly =
    "Lumivane needs an X11 session. Under Wayland a program may not read what lies beneath "
    "its window, and the clock is made of exactly that. Log in to an X11 session (for "
    "instance \"GNOME on Xorg\"), or enable XWayland.";

constexpr const char* kUnderXWayland =
    "This is a Wayland session: through XWayland Lumivane sees only the windows of other X11 "
    "programs. The desktop itself and the windows of Wayland programs beneath the clock "
    "look black in its dial.";

bool WaylandSession() {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* type = std::getenv("XDG_SESSION_TYPE");
    return (wayland != nullptr && *wayland != '\0') ||
           (type != nullptr && std::string(type) == "wayland");
}

} // namespace

int main(int argc, char** argv) {
    lumivane::UseExtendedPrecision();
    g_set_prgname("lumivane");
    g_set_application_name(lumivane::kTitle);
    // X11 first; Wayland only to say, in a window, that the clock cannot run there.
    gdk_set_allowed_backends("x11,wayland");
    if (!gtk_init_check(&argc, &argv)) {
        if (WaylandSession()) {
            std::fprintf(stderr, "lumivane: %s\n", kWaylandOnly);
            return kNoX11;
        }
        std::fprintf(stderr, "lumivane: cannot open the display (is DISPLAY set?)\n");
        return 1;
    }
    if (!GDK_IS_X11_DISPLAY(gdk_display_get_default())) {
        std::fprintf(stderr, "lumivane: %s\n", kWaylandOnly);
        GtkWidget* box = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                                GTK_BUTTONS_OK, "%s", kWaylandOnly);
        gtk_window_set_title(GTK_WINDOW(box), lumivane::kTitle);
        gtk_dialog_run(GTK_DIALOG(box));
        gtk_widget_destroy(box);
        return kNoX11;
    }
    std::string note;
    if (WaylandSession()) {
        std::fprintf(stderr, "lumivane: %s\n", kUnderXWayland);
        note = kUnderXWayland;
    }
    // The one ClockState of the run; the windows only borrow it.
    lumivane::ClockState clockState;
    lumivane::Application application(clockState, note);
    return application.Run(argc, argv);
}
