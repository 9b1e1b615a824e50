#include "linux/wayland/globals.h"

#include <gdk/gdkwayland.h>

#include <cstring>

#include "relative-pointer-unstable-v1-client-protocol.h"

namespace lumivane::wayland {

namespace {

// Binds `interface` at `version` when `wanted` names it, into `slot`.
template <class T>
void BindIf(wl_registry* registry, uint32_t name, const char* offered,
            const wl_interface& interface, uint32_t version, T*& slot) {
    if (std::strcmp(offered, interface.name) == 0) {
        slot = static_cast<T*>(wl_registry_bind(registry, name, &interface, version));
    }
}

struct Bound {
    wl_subcompositor* subcompositor = nullptr;
    wl_shm* shm = nullptr;
    zwp_relative_pointer_manager_v1* relativePointers = nullptr;
};

// Sends a proxy made on the binding's queue to the toolkit's.
template <class T> T* ToMainQueue(T* proxy) {
    if (proxy != nullptr) {
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(proxy), nullptr);
    }
    return proxy;
}

} // namespace

void DestroySubcompositor(wl_subcompositor* subcompositor) {
    wl_subcompositor_destroy(subcompositor);
}

void DestroyRelativePointers(zwp_relative_pointer_manager_v1* manager) {
    zwp_relative_pointer_manager_v1_destroy(manager);
}

Globals BindGlobals(GdkDisplay* display) {
    // Bound on a queue of its own, so that the round trip runs none of the toolkit's
    // handlers.
    wl_display* wayland = gdk_wayland_display_get_wl_display(display);
    const Queue queue(wl_display_create_queue(wayland));
    const Wrapper wrapper(wl_proxy_create_wrapper(wayland));
    if (!queue || !wrapper) {
        return {};
    }
    wl_proxy_set_queue(static_cast<wl_proxy*>(wrapper.get()), queue.get());
    const Proxy<wl_registry> registry(
        wl_display_get_registry(static_cast<wl_display*>(wrapper.get())));
    Bound bound;
    static constexpr wl_registry_listener kGlobals{
        [](void* data, wl_registry* globals, uint32_t name, const char* interface, uint32_t) {
            auto* found = static_cast<Bound*>(data);
            BindIf(globals, name, interface, wl_subcompositor_interface, 1, found->subcompositor);
            BindIf(globals, name, interface, wl_shm_interface, 1, found->shm);
            BindIf(globals, name, interface, zwp_relative_pointer_manager_v1_interface, 1,
                   found->relativePointers);
        },
        [](void*, wl_registry*, uint32_t) {}};
    wl_registry_add_listener(registry.get(), &kGlobals, &bound);
    wl_display_roundtrip_queue(wayland, queue.get());
    Globals globals;
    globals.subcompositor.reset(ToMainQueue(bound.subcompositor));
    globals.shm = Proxy<wl_shm>(ToMainQueue(bound.shm));
    globals.relativePointers.reset(ToMainQueue(bound.relativePointers));
    return globals;
}

} // namespace lumivane::wayland
