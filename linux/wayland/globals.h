#pragma once
// The compositor's globals that the toolkit does not hand out, bound on its connection, so
// that their events come through its main loop; each is null where the compositor lacks it.
#include <gdk/gdk.h>
#include <wayland-client.h>

#include "linux/wayland/handles.h"

struct zwp_relative_pointer_manager_v1;

namespace lumivane::wayland {

void DestroySubcompositor(wl_subcompositor* subcompositor);
void DestroyRelativePointers(zwp_relative_pointer_manager_v1* manager);

struct Globals {
    Owned<wl_subcompositor*, &DestroySubcompositor> subcompositor;
    Proxy<wl_shm> shm;
    Owned<zwp_relative_pointer_manager_v1*, &DestroyRelativePointers> relativePointers;
};

Globals BindGlobals(GdkDisplay* display);

} // namespace lumivane::wayland
