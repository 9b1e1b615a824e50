#include "linux/x11/monitors.h"

#include <X11/extensions/Xinerama.h>
#include <gdk/gdkx.h>

#include "linux/x11/handles.h"

namespace lumivane::x11 {

namespace {

std::vector<Rect> XineramaScreens(GdkDisplay* display) {
    ::Display* xdisplay = gdk_x11_display_get_xdisplay(display);
    std::vector<Rect> monitors;
    if (!XineramaIsActive(xdisplay)) {
        return monitors;
    }
    int count = 0;
    const x11::XMemory<XineramaScreenInfo> screens(XineramaQueryScreens(xdisplay, &count));
    for (int i = 0; screens && i < count; ++i) {
        const XineramaScreenInfo& s = screens.get()[i];
        monitors.push_back({s.x_org, s.y_org, s.x_org + s.width, s.y_org + s.height});
    }
    return monitors;
}

} // namespace

std::vector<Rect> Monitors(GdkDisplay* display) {
    const int count = gdk_display_get_n_monitors(display);
    if (count <= 1 && GDK_IS_X11_DISPLAY(display)) {
        std::vector<Rect> screens = XineramaScreens(display);
        if (!screens.empty()) {
            return screens;
        }
    }
    GdkMonitor* primary = gdk_display_get_primary_monitor(display);
    std::vector<Rect> monitors;
    for (int i = 0; i < count; ++i) {
        GdkMonitor* monitor = gdk_display_get_monitor(display, i);
        GdkRectangle r{0, 0, 0, 0};
        gdk_monitor_get_geometry(monitor, &r);
        monitors.insert(monitor == primary ? monitors.begin() : monitors.end(),
                        Rect{r.x, r.y, r.x + r.width, r.y + r.height});
    }
    if (monitors.empty()) {
        monitors.push_back({});
    }
    return monitors;
}

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

} // namespace lumivane::x11
