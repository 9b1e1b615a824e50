// Lumivane on Linux: the program entry, which makes the one choice of display protocol.
// In a Wayland session whose compositor offers layer-shell the clock is a Wayland client
// (linux/wayland/); elsewhere it is an X11 program (linux/x11/), on an X server or through
// XWayland. Where neither can serve it says so and ends with status 2.
#include <gdk/gdkwayland.h>
#include <gtk-layer-shell/gtk-layer-shell.h>
#include <gtk/gtk.h>
#include <wayland-client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/clock/clock_state.h"
#include "core/controller/facts.h"
#include "core/render/precision.h"
#include "linux/application.h"

namespace {

constexpr int kNoDisplay = 2;

constexpr const char* kNeitherServes =
    "Lumivane cannot show its clock here: this Wayland compositor offers no layer-shell "
    "(wlr-layer-shell, as the wlroots compositors and KDE Plasma have), and no X11 "
    "display (XWayland) is open. Enable XWayland, or log in to an X11 session.";

bool WaylandSession() {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* type = std::getenv("XDG_SESSION_TYPE");
    return (wayland != nullptr && *wayland != '\0') ||
           (type != nullptr && std::string(type) == "wayland");
}

// Whether the session's compositor offers wlr-layer-shell, asked on a connection of its own
// before the toolkit opens one.
bool OffersLayerShell() {
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        return false;
    }
    bool offered = false;
    wl_registry* registry = wl_display_get_registry(display);
    static constexpr wl_registry_listener kListener{
        [](void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
            if (std::strcmp(interface, "zwlr_layer_shell_v1") == 0) {
                *static_cast<bool*>(data) = true;
            }
        },
        [](void*, wl_registry*, uint32_t) {}};
    wl_registry_add_listener(registry, &kListener, &offered);
    wl_display_roundtrip(display);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return offered;
}

int CannotServe() {
    std::fprintf(stderr, "lumivane: %s\n", kNeitherServes);
    return kNoDisplay;
}

} // namespace

int main(int argc, char** argv) {
    lumivane::UseExtendedPrecision();
    g_set_prgname("lumivane");
    g_set_application_name(lumivane::kTitle);
    const bool wayland = WaylandSession();
    // GDK_BACKEND, when the user set it, has the last word.
    gdk_set_allowed_backends(wayland && OffersLayerShell() ? "wayland" : "x11");
    if (!gtk_init_check(&argc, &argv)) {
        if (wayland) {
            return CannotServe();
        }
        std::fprintf(stderr, "lumivane: cannot open the display (is DISPLAY set?)\n");
        return 1;
    }
    if (GDK_IS_WAYLAND_DISPLAY(gdk_display_get_default()) && !gtk_layer_is_supported()) {
        GtkWidget* box = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                                GTK_BUTTONS_OK, "%s", kNeitherServes);
        gtk_window_set_title(GTK_WINDOW(box), lumivane::kTitle);
        const int status = CannotServe();
        gtk_dialog_run(GTK_DIALOG(box));
        gtk_widget_destroy(box);
        return status;
    }
    // The one ClockState of the run; the windows only borrow it.
    lumivane::ClockState clockState;
    lumivane::gtk::Application application(clockState);
    return application.Run(argc, argv);
}
