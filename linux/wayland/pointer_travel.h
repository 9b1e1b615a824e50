#pragma once
// The pointer's travel since a press, as the compositor's relative pointer tells it
// (zwp-relative-pointer): a compositor may give the pointer's place relative to where the
// surface was at the press (sway does) or to where it is now, and the travel is the same
// either way.
#include <gdk/gdk.h>

#include <cstdint>
#include <functional>

#include "core/geometry.h"

struct zwp_relative_pointer_manager_v1;
struct zwp_relative_pointer_v1;

namespace lumivane::wayland {

class PointerTravel {
  public:
    // `moved` hears the travel in physical pixels.
    PointerTravel(GdkDisplay* display, std::function<void(Place travel)> moved);
    ~PointerTravel();
    PointerTravel(const PointerTravel&) = delete;
    PointerTravel& operator=(const PointerTravel&) = delete;

    // From a press on, on an output of `scale`; false when the compositor tells no travel.
    bool Start(int32_t scale);
    void Stop();

  private:
    GdkDisplay* display_;
    zwp_relative_pointer_manager_v1* manager_; // none: the compositor tells no travel
    std::function<void(Place)> moved_;
    zwp_relative_pointer_v1* pointer_ = nullptr;
    int32_t scale_ = 1;
    double x_ = 0; // logical pixels
    double y_ = 0;
};

} // namespace lumivane::wayland
