#include "linux/wayland/pointer_travel.h"

#include <gdk/gdkwayland.h>

#include <cmath>

#include "linux/wayland/globals.h"

#include "relative-pointer-unstable-v1-client-protocol.h"

namespace lumivane::wayland {

PointerTravel::PointerTravel(GdkDisplay* display, std::function<void(Place travel)> moved)
    : display_(display), manager_(Bind<zwp_relative_pointer_manager_v1>(
                             display, zwp_relative_pointer_manager_v1_interface, 1, 1)),
      moved_(std::move(moved)) {}

PointerTravel::~PointerTravel() {
    Stop();
    if (manager_ != nullptr) {
        zwp_relative_pointer_manager_v1_destroy(manager_);
    }
}

bool PointerTravel::Start(int32_t scale) {
    Stop();
    wl_pointer* pointer = gdk_wayland_device_get_wl_pointer(
        gdk_seat_get_pointer(gdk_display_get_default_seat(display_)));
    if (manager_ == nullptr || pointer == nullptr) {
        return false;
    }
    scale_ = scale;
    x_ = y_ = 0;
    pointer_ = zwp_relative_pointer_manager_v1_get_relative_pointer(manager_, pointer);
    static constexpr zwp_relative_pointer_v1_listener kMoved{
        [](void* data, zwp_relative_pointer_v1*, uint32_t, uint32_t, wl_fixed_t dx, wl_fixed_t dy,
           wl_fixed_t, wl_fixed_t) {
            auto* self = static_cast<PointerTravel*>(data);
            self->x_ += wl_fixed_to_double(dx);
            self->y_ += wl_fixed_to_double(dy);
            self->moved_({static_cast<int32_t>(std::lround(self->x_ * self->scale_)),
                          static_cast<int32_t>(std::lround(self->y_ * self->scale_))});
        }};
    zwp_relative_pointer_v1_add_listener(pointer_, &kMoved, this);
    return true;
}

void PointerTravel::Stop() {
    if (pointer_ != nullptr) {
        zwp_relative_pointer_v1_destroy(pointer_);
        pointer_ = nullptr;
    }
}

} // namespace lumivane::wayland
