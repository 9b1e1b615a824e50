#pragma once
// A global of the compositor that the toolkit does not hand out, bound on its connection,
// so that its events come through the toolkit's main loop.
#include <gdk/gdk.h>
#include <wayland-client.h>

#include <cstdint>

namespace lumivane::wayland {

// The global of `interface` at the highest version the compositor offers up to `most`;
// null where it offers none, or none of `least` or more. `version` takes the version bound.
void* BindGlobal(GdkDisplay* display, const wl_interface& interface, uint32_t least, uint32_t most,
                 uint32_t* version = nullptr);

template <class T>
T* Bind(GdkDisplay* display, const wl_interface& interface, uint32_t least, uint32_t most,
        uint32_t* version = nullptr) {
    return static_cast<T*>(BindGlobal(display, interface, least, most, version));
}

} // namespace lumivane::wayland
