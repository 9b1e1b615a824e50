#include "linux/wayland/beneath.h"

#include <gdk/gdkwayland.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "linux/wayland/globals.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"

namespace lumivane::wayland {

namespace {

// The longest a capture may take: an output renders every few milliseconds while anything
// changes, and a capture makes it render.
constexpr int kCaptureTimeout = 250; // ms
// How long the clock goes on with its last estimate after a capture came late, ms.
constexpr int kRestAfterLate = 2000;

// The 32-bit formats a capture may come in (DRM codes; wl_shm's own for the first two).
constexpr uint32_t kArgb8888 = WL_SHM_FORMAT_ARGB8888;
constexpr uint32_t kXrgb8888 = WL_SHM_FORMAT_XRGB8888;
constexpr uint32_t kAbgr8888 = WL_SHM_FORMAT_ABGR8888;
constexpr uint32_t kXbgr8888 = WL_SHM_FORMAT_XBGR8888;

// The 32-bit formats the reader takes.
bool Offered(uint32_t format) {
    return format == kArgb8888 || format == kXrgb8888 || format == kAbgr8888 || format == kXbgr8888;
}

// One capture on its way.
struct Frame {
    std::optional<BeneathReader::Offer> offer;
    uint32_t flags = 0;
    bool ready = false;
    bool failed = false;
};

constexpr zwlr_screencopy_frame_v1_listener kFrameListener{
    .buffer =
        [](void* data, zwlr_screencopy_frame_v1*, uint32_t format, uint32_t width, uint32_t height,
           uint32_t stride) {
            auto* frame = static_cast<Frame*>(data);
            // The first 32-bit format offered is taken.
            if (!frame->offer && Offered(format)) {
                frame->offer = BeneathReader::Offer{format, width, height, stride};
            }
        },
    .flags = [](void* data, zwlr_screencopy_frame_v1*,
                uint32_t flags) { static_cast<Frame*>(data)->flags = flags; },
    .ready = [](void* data, zwlr_screencopy_frame_v1*, uint32_t, uint32_t,
                uint32_t) { static_cast<Frame*>(data)->ready = true; },
    .failed = [](void* data,
                 zwlr_screencopy_frame_v1*) { static_cast<Frame*>(data)->failed = true; },
    .damage = [](void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t, uint32_t) {},
};

using FrameProxy = Owned<zwlr_screencopy_frame_v1*, &DestroyFrame>;

// A copy in `buffer` as 0x..RRGGBB pixels, rows top to bottom.
void Unpack(const CaptureBuffer& buffer, const BeneathReader::Offer& offer, uint32_t flags,
            std::vector<uint32_t>& pixels) {
    pixels.resize(static_cast<size_t>(offer.width) * offer.height);
    const bool swap = offer.format == kAbgr8888 || offer.format == kXbgr8888;
    const bool flip = (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
    for (uint32_t row = 0; row < offer.height; ++row) {
        const auto* from = reinterpret_cast<const uint32_t*>(
            buffer.Bytes() +
            static_cast<size_t>(flip ? offer.height - 1 - row : row) * offer.stride);
        uint32_t* to = pixels.data() + static_cast<size_t>(row) * offer.width;
        if (!swap) {
            std::memcpy(to, from, offer.width * sizeof(uint32_t));
            continue;
        }
        for (uint32_t i = 0; i < offer.width; ++i) {
            const uint32_t p = from[i];
            to[i] = (p & 0xFF00FF00u) | (p & 0xFFu) << 16 | (p >> 16 & 0xFFu);
        }
    }
}

} // namespace

void DestroyFrame(zwlr_screencopy_frame_v1* frame) {
    zwlr_screencopy_frame_v1_destroy(frame);
}

void DestroyScreencopy(zwlr_screencopy_manager_v1* manager) {
    zwlr_screencopy_manager_v1_destroy(manager);
}

bool CaptureBuffer::Fit(wl_shm* shm, const Offer& offer) {
    if (!made_ || offer != offer_) {
        offer_ = offer;
        made_ = shared_.Make(shm, 1, offer.width, offer.height, offer.stride, offer.format);
    }
    return made_;
}

BeneathReader::BeneathReader(GdkDisplay* display, Changed changed)
    : display_(gdk_wayland_display_get_wl_display(display)),
      queue_(wl_display_create_queue(display_)),
      shm_(Bind<wl_shm>(display, wl_shm_interface, 1, 1)),
      // Version 2 adds copy_with_damage; 3 adds what a buffer on the graphics card needs.
      manager_(Bind<zwlr_screencopy_manager_v1>(display, zwlr_screencopy_manager_v1_interface, 1, 2,
                                                &version_)),
      changed_(std::move(changed)) {
    if (manager_ && queue_ && shm_) {
        captures_ = Wrapper(wl_proxy_create_wrapper(manager_.get()));
    }
    if (!captures_) {
        manager_.reset();
        return;
    }
    wl_proxy_set_queue(static_cast<wl_proxy*>(captures_.get()), queue_.get());
}

template <class Done> bool BeneathReader::Wait(Done done, int timeout) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
    while (!done()) {
        if (wl_display_prepare_read_queue(display_, queue_.get()) != 0) {
            if (wl_display_dispatch_queue_pending(display_, queue_.get()) < 0) {
                return false;
            }
            continue;
        }
        wl_display_flush(display_);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd fd{wl_display_get_fd(display_), POLLIN, 0};
        if (left <= 0 || poll(&fd, 1, static_cast<int>(left)) <= 0) {
            wl_display_cancel_read(display_);
            return false;
        }
        // Events of the toolkit's objects read here wait in its queue for its handlers.
        if (wl_display_read_events(display_) < 0 ||
            wl_display_dispatch_queue_pending(display_, queue_.get()) < 0) {
            return false;
        }
    }
    return true;
}

std::optional<BeneathReader::Request> BeneathReader::RequestOf(const Output& output,
                                                               const Rect& area) {
    const Rect& screen = output.rect;
    const Rect clipped{std::max(area.left, screen.left), std::max(area.top, screen.top),
                       std::min(area.right, screen.right), std::min(area.bottom, screen.bottom)};
    if (output.monitor == nullptr || clipped.left >= clipped.right ||
        clipped.top >= clipped.bottom) {
        return std::nullopt;
    }
    // The request is in the output's logical pixels; the buffer comes in physical ones.
    const int32_t scale = output.scale;
    const int32_t x = (clipped.left - screen.left) / scale;
    const int32_t y = (clipped.top - screen.top) / scale;
    return Request{x, y, (clipped.right - screen.left + scale - 1) / scale - x,
                   (clipped.bottom - screen.top + scale - 1) / scale - y};
}

std::optional<ScreenCapture> BeneathReader::Capture(const Output& output, const Rect& area) {
    const std::optional<Request> request = RequestOf(output, area);
    if (!manager_ || !request || std::chrono::steady_clock::now() < restUntil_) {
        return std::nullopt;
    }
    Frame frame;
    const FrameProxy proxy(zwlr_screencopy_manager_v1_capture_output_region(
        static_cast<zwlr_screencopy_manager_v1*>(captures_.get()), 0,
        gdk_wayland_monitor_get_wl_output(output.monitor), request->x, request->y, request->width,
        request->height));
    zwlr_screencopy_frame_v1_add_listener(proxy.get(), &kFrameListener, &frame);
    // An output that renders nothing (switched off) answers late or never: the clock
    // does not wait for it at every frame.
    const auto late = [this] {
        restUntil_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRestAfterLate);
        return std::nullopt;
    };
    if (!Wait([&] { return frame.offer || frame.failed; }, kCaptureTimeout)) {
        return late();
    }
    if (frame.failed || !buffer_.Fit(shm_.get(), *frame.offer)) {
        return std::nullopt;
    }
    zwlr_screencopy_frame_v1_copy(proxy.get(), buffer_.get());
    if (!Wait([&] { return frame.ready || frame.failed; }, kCaptureTimeout)) {
        return late();
    }
    if (frame.failed) {
        return std::nullopt;
    }
    const Offer& offer = *frame.offer;
    Unpack(buffer_, offer, frame.flags, pixels_);
    const Place at = RegionOf(output, *request).origin;
    return ScreenCapture{pixels_.data(),
                         static_cast<int32_t>(offer.width),
                         {at.left, at.top, at.left + static_cast<int32_t>(offer.width),
                          at.top + static_cast<int32_t>(offer.height)},
                         std::nullopt};
}

void BeneathReader::Watch(const Output& output, const Rect& area) {
    const std::optional<Request> request = RequestOf(output, area);
    if (!TellsChanges() || !request) {
        return;
    }
    const Watched watched = RegionOf(output, *request);
    if (watched_ && *watched_ == watched) {
        return;
    }
    watched_ = watched;
    Arm();
}

void BeneathReader::Arm() {
    watchOffer_.reset();
    // Its events go to the toolkit's queue, which its main loop dispatches.
    watchFrame_.reset(zwlr_screencopy_manager_v1_capture_output_region(
        manager_.get(), 0, watched_->output, watched_->request.x, watched_->request.y,
        watched_->request.width, watched_->request.height));
    if (!watchFrame_) {
        watched_.reset();
        return;
    }
    static constexpr zwlr_screencopy_frame_v1_listener kWatchListener{
        .buffer =
            [](void* data, zwlr_screencopy_frame_v1*, uint32_t format, uint32_t width,
               uint32_t height, uint32_t stride) {
                static_cast<BeneathReader*>(data)->WatchOffered({format, width, height, stride});
            },
        .flags = [](void* data, zwlr_screencopy_frame_v1*,
                    uint32_t flags) { static_cast<BeneathReader*>(data)->watchFlags_ = flags; },
        .ready = [](void* data, zwlr_screencopy_frame_v1*, uint32_t, uint32_t,
                    uint32_t) { static_cast<BeneathReader*>(data)->WatchReady(); },
        .failed =
            [](void* data, zwlr_screencopy_frame_v1*) {
                static_cast<BeneathReader*>(data)->WatchEnded();
            },
        // Where it changed says too little (wlroots tells the whole output's changes):
        // the copy itself is compared.
        .damage = [](void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t, uint32_t) {},
    };
    zwlr_screencopy_frame_v1_add_listener(watchFrame_.get(), &kWatchListener, this);
}

void BeneathReader::WatchOffered(const Offer& offer) {
    // The first 32-bit format offered is taken.
    if (watchOffer_ || !Offered(offer.format)) {
        return;
    }
    watchOffer_ = offer;
    if (!watchBuffer_.Fit(shm_.get(), offer)) {
        WatchEnded();
        return;
    }
    // The compositor answers once the output showed a change since the last such copy.
    zwlr_screencopy_frame_v1_copy_with_damage(watchFrame_.get(), watchBuffer_.get());
}

void BeneathReader::WatchReady() {
    const Offer& offer = *watchOffer_;
    Unpack(watchBuffer_, offer, watchFlags_, watchCopy_);
    const Place at = watched_->origin;
    const ScreenCapture copy{watchCopy_.data(),
                             static_cast<int32_t>(offer.width),
                             {at.left, at.top, at.left + static_cast<int32_t>(offer.width),
                              at.top + static_cast<int32_t>(offer.height)},
                             std::nullopt};
    if (changed_(&copy)) {
        watchFrame_.reset();
        watched_.reset();
        return;
    }
    Arm();
}

void BeneathReader::WatchEnded() {
    watchFrame_.reset();
    watched_.reset();
    changed_(nullptr);
}

BeneathReader::Watched BeneathReader::RegionOf(const Output& output, const Request& request) {
    return {
        gdk_wayland_monitor_get_wl_output(output.monitor),
        request,
        {output.rect.left + request.x * output.scale, output.rect.top + request.y * output.scale}};
}

} // namespace lumivane::wayland
