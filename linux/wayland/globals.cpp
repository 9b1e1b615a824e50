#include "linux/wayland/globals.h"

#include <gdk/gdkwayland.h>

#include <algorithm>
#include <cstring>

#include "linux/wayland/handles.h"

namespace lumivane::wayland {

namespace {

struct Wanted {
    const wl_interface& interface;
    uint32_t least;
    uint32_t most;
    void* bound = nullptr;
    uint32_t version = 0;
};

} // namespace

void* BindGlobal(GdkDisplay* display, const wl_interface& interface, uint32_t least, uint32_t most,
                 uint32_t* version) {
    // Read on a queue of its own, so that the round trip runs none of the toolkit's handlers.
    wl_display* wayland = gdk_wayland_display_get_wl_display(display);
    const Queue queue(wl_display_create_queue(wayland));
    const Wrapper wrapper(wl_proxy_create_wrapper(wayland));
    if (!queue || !wrapper) {
        return nullptr;
    }
    wl_proxy_set_queue(static_cast<wl_proxy*>(wrapper.get()), queue.get());
    const Proxy<wl_registry> registry(
        wl_display_get_registry(static_cast<wl_display*>(wrapper.get())));
    Wanted wanted{interface, least, most};
    static constexpr wl_registry_listener kGlobals{
        [](void* data, wl_registry* globals, uint32_t name, const char* offered, uint32_t has) {
            auto* w = static_cast<Wanted*>(data);
            if (w->bound == nullptr && has >= w->least &&
                std::strcmp(offered, w->interface.name) == 0) {
                w->version = std::min(has, w->most);
                w->bound = wl_registry_bind(globals, name, &w->interface, w->version);
            }
        },
        [](void*, wl_registry*, uint32_t) {}};
    wl_registry_add_listener(registry.get(), &kGlobals, &wanted);
    wl_display_roundtrip_queue(wayland, queue.get());
    // On the toolkit's queue before any of its events are read.
    if (wanted.bound != nullptr) {
        wl_proxy_set_queue(static_cast<wl_proxy*>(wanted.bound), nullptr);
    }
    if (version != nullptr) {
        *version = wanted.version;
    }
    return wanted.bound;
}

} // namespace lumivane::wayland
