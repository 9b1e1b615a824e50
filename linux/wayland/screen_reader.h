#pragma once
// What an output shows, captured through wlr-screencopy (the wlroots compositors and
// Hyprland offer it): a region of the output into a shared-memory buffer, on an event
// queue of the reader's own, so that waiting for it runs none of the toolkit's handlers
// (the clock must not draw while a capture is on its way).
#include <gdk/gdk.h>
#include <wayland-client.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/render/see_through.h"
#include "linux/wayland/handles.h"
#include "linux/wayland/monitors.h"

struct zwlr_screencopy_manager_v1;

namespace lumivane::wayland {

class ScreenReader {
  public:
    explicit ScreenReader(GdkDisplay* display);
    ~ScreenReader();
    ScreenReader(const ScreenReader&) = delete;
    ScreenReader& operator=(const ScreenReader&) = delete;

    // Whether the compositor lets the program capture the screen.
    bool SeesBeneath() const { return manager_ != nullptr; }
    // What `output` shows of `area` (desktop pixels, clipped to the output); nothing when
    // the compositor failed or did not answer in time. Valid until the next capture.
    std::optional<ScreenCapture> Capture(const Output& output, const Rect& area);

    // What a capture's buffer is made of, as the compositor offers it.
    struct Offer {
        uint32_t format = 0;
        uint32_t width = 0;
        uint32_t height = 0;
        uint32_t stride = 0;
    };

  private:
    // Dispatches the reader's queue until `done` holds; false after `timeout` ms or when
    // the connection fails.
    template <class Done> bool Wait(Done done, int timeout);
    bool PrepareBuffer(const Offer& offer);

    wl_display* display_;
    Queue queue_;
    Wrapper wrapper_;
    Proxy<wl_registry> registry_;
    Proxy<wl_shm> shm_;
    zwlr_screencopy_manager_v1* manager_ = nullptr;
    Offer bufferOffer_;
    File file_;
    Mapping mapping_;
    wl_buffer* buffer_ = nullptr;
    std::vector<uint32_t> pixels_;
    std::chrono::steady_clock::time_point restUntil_; // no capture before
};

} // namespace lumivane::wayland
