#pragma once
// What an output shows, captured through wlr-screencopy (the wlroots compositors and
// Hyprland offer it): a region of the output into a shared-memory buffer, on an event
// queue of the reader's own, so that waiting for it runs none of the toolkit's handlers
// (the clock must not draw while a capture is on its way). Where the compositor can wait
// for a change (copy_with_damage), a watch hands on each copy of the region that shows
// something new, so that a still desktop is not captured again and again.
#include <gdk/gdk.h>
#include <wayland-client.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "core/render/see_through.h"
#include "linux/wayland/handles.h"
#include "linux/wayland/monitors.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"

namespace lumivane::wayland {

void DestroyFrame(zwlr_screencopy_frame_v1* frame);
void DestroyScreencopy(zwlr_screencopy_manager_v1* manager);

// A capture's buffer: shared memory the compositor copies an output's pixels into.
class CaptureBuffer {
  public:
    // What a capture's buffer is made of, as the compositor offers it.
    struct Offer {
        uint32_t format = 0;
        uint32_t width = 0;
        uint32_t height = 0;
        uint32_t stride = 0;
        bool operator==(const Offer&) const = default;
    };

    // Makes the buffer fit `offer` (kept when it already does); false when it cannot.
    bool Fit(wl_shm* shm, const Offer& offer);
    wl_buffer* get() const { return made_ ? shared_.Get(0) : nullptr; }
    const uint8_t* Bytes() const { return shared_.Bytes(0); }

  private:
    Offer offer_;
    bool made_ = false;
    SharedBuffers shared_;
};

class BeneathReader {
  public:
    using Offer = CaptureBuffer::Offer;

    // What a watch asks when its region shows something new: the copy (nothing when the
    // compositor could not make it), answered with whether that is news.
    using Changed = std::function<bool(const ScreenCapture* copy)>;

    // `changed` runs from the toolkit's main loop.
    BeneathReader(GdkDisplay* display, Changed changed);
    BeneathReader(const BeneathReader&) = delete;
    BeneathReader& operator=(const BeneathReader&) = delete;

    // Whether the compositor lets the program capture the screen.
    bool SeesBeneath() const { return static_cast<bool>(manager_); }
    // Whether it also tells when the screen changed (copy_with_damage).
    bool TellsChanges() const { return SeesBeneath() && version_ >= 2; }
    // What `output` shows of `area` (desktop pixels, clipped to the output); nothing when
    // the compositor failed or did not answer in time. Valid until the next capture.
    std::optional<ScreenCapture> Capture(const Output& output, const Rect& area);
    // Watches `area` of `output` (where TellsChanges): each time the compositor shows
    // something new there, `changed` is asked, and the watch ends when that is news. A
    // watch of the same area goes on; another ends it.
    void Watch(const Output& output, const Rect& area);

  private:
    // The region of `area` a capture asks the compositor for, in the output's logical
    // pixels; nothing when `area` is off the output.
    struct Request {
        int32_t x, y, width, height;
        bool operator==(const Request&) const = default;
    };
    static std::optional<Request> RequestOf(const Output& output, const Rect& area);
    // Dispatches the reader's queue until `done` holds; false after `timeout` ms or when
    // the connection fails.
    template <class Done> bool Wait(Done done, int timeout);
    // One copy_with_damage of the watched region, on the toolkit's queue.
    void Arm();
    void WatchOffered(const Offer& offer);
    void WatchReady();
    void WatchEnded();

    // A region of an output.
    struct Watched {
        wl_output* output = nullptr;
        Request request{};
        Place origin; // the region's top-left corner on the desktop
        bool operator==(const Watched&) const = default;
    };
    static Watched RegionOf(const Output& output, const Request& request);

    wl_display* display_;
    Queue queue_;
    Proxy<wl_shm> shm_;
    Owned<zwlr_screencopy_manager_v1*, &DestroyScreencopy> manager_;
    uint32_t version_ = 0;
    Wrapper captures_; // the manager, its captures on queue_
    CaptureBuffer buffer_;
    std::vector<uint32_t> pixels_;
    std::chrono::steady_clock::time_point restUntil_; // no capture before

    Changed changed_;
    std::optional<Watched> watched_; // while a watch goes on
    Owned<zwlr_screencopy_frame_v1*, &DestroyFrame> watchFrame_;
    std::optional<Offer> watchOffer_;
    uint32_t watchFlags_ = 0;
    CaptureBuffer watchBuffer_;
    std::vector<uint32_t> watchCopy_;
};

} // namespace lumivane::wayland
