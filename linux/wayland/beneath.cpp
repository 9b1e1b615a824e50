#include "linux/wayland/beneath.h"

#include <gdk/gdkwayland.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

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

// The globals the reader binds.
struct Found {
    wl_shm* shm = nullptr;
    zwlr_screencopy_manager_v1* manager = nullptr;
    uint32_t version = 0;
};

void Global(void* data, wl_registry* registry, uint32_t name, const char* interface,
            uint32_t version) {
    auto* found = static_cast<Found*>(data);
    if (std::strcmp(interface, wl_shm_interface.name) == 0) {
        found->shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (std::strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0 &&
               version >= 1) {
        // Version 2 adds copy_with_damage; 3 adds what a buffer on the graphics card needs.
        found->version = std::min<uint32_t>(version, 2);
        found->manager = static_cast<zwlr_screencopy_manager_v1*>(wl_registry_bind(
            registry, name, &zwlr_screencopy_manager_v1_interface, found->version));
    }
}

void GlobalRemoved(void*, wl_registry*, uint32_t) {}

constexpr wl_registry_listener kRegistryListener{Global, GlobalRemoved};

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

bool CaptureBuffer::Fit(wl_shm* shm, const Offer& offer) {
    if (buffer_ && std::memcmp(&offer, &offer_, sizeof offer) == 0) {
        return true;
    }
    buffer_.reset();
    mapping_.reset();
    file_.reset();
    const size_t bytes = static_cast<size_t>(offer.stride) * offer.height;
    if (offer.width == 0 || offer.height == 0 || offer.stride < offer.width * 4 ||
        bytes > INT32_MAX) {
        return false;
    }
    file_ = File(memfd_create("lumivane-capture", MFD_CLOEXEC));
    if (!file_ || ftruncate(file_.get(), static_cast<off_t>(bytes)) != 0) {
        return false;
    }
    void* address = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, file_.get(), 0);
    if (address == MAP_FAILED) {
        return false;
    }
    mapping_ = Mapping(bytes, address);
    const Proxy<wl_shm_pool> pool(
        wl_shm_create_pool(shm, file_.get(), static_cast<int32_t>(bytes)));
    buffer_.reset(wl_shm_pool_create_buffer(pool.get(), 0, static_cast<int32_t>(offer.width),
                                            static_cast<int32_t>(offer.height),
                                            static_cast<int32_t>(offer.stride), offer.format));
    offer_ = offer;
    return static_cast<bool>(buffer_);
}

BeneathReader::BeneathReader(GdkDisplay* display, Changed changed)
    : display_(gdk_wayland_display_get_wl_display(display)),
      queue_(wl_display_create_queue(display_)), wrapper_(wl_proxy_create_wrapper(display_)),
      changed_(std::move(changed)) {
    if (!queue_ || !wrapper_) {
        return;
    }
    wl_proxy_set_queue(static_cast<wl_proxy*>(wrapper_.get()), queue_.get());
    registry_ =
        Proxy<wl_registry>(wl_display_get_registry(static_cast<wl_display*>(wrapper_.get())));
    Found found;
    wl_registry_add_listener(registry_.get(), &kRegistryListener, &found);
    wl_display_roundtrip_queue(display_, queue_.get());
    shm_ = Proxy<wl_shm>(found.shm);
    manager_ = found.manager;
    version_ = found.version;
    // Globals that come later (a compositor restarting its capture) are not looked for.
    registry_.reset();
    if (!shm_ && manager_ != nullptr) {
        zwlr_screencopy_manager_v1_destroy(manager_);
        manager_ = nullptr;
    }
}

BeneathReader::~BeneathReader() {
    if (manager_ != nullptr) {
        zwlr_screencopy_manager_v1_destroy(manager_);
    }
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
    if (manager_ == nullptr || !request || std::chrono::steady_clock::now() < restUntil_) {
        return std::nullopt;
    }
    Frame frame;
    const FrameProxy proxy(zwlr_screencopy_manager_v1_capture_output_region(
        manager_, 0, gdk_wayland_monitor_get_wl_output(output.monitor), request->x, request->y,
        request->width, request->height));
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
    captured_ = RegionOf(output, *request);
    const Place at = captured_->origin;
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
    // What it shows now is the last capture's, where that was of the same region; without
    // one, any copy is news.
    if (captured_ && *captured_ == watched) {
        watchSeen_ = pixels_;
    } else {
        watchSeen_.clear();
    }
    Arm();
}

void BeneathReader::Arm() {
    watchOffer_.reset();
    watchFrame_.reset(zwlr_screencopy_manager_v1_capture_output_region(
        manager_, 0, watched_->output, watched_->request.x, watched_->request.y,
        watched_->request.width, watched_->request.height));
    if (!watchFrame_) {
        watched_.reset();
        return;
    }
    // Its events go to the toolkit's queue, which its main loop dispatches.
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(watchFrame_.get()), nullptr);
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
    // Unchanged since the last look (the output changed elsewhere): the watch goes on.
    if (watchCopy_ == watchSeen_) {
        Arm();
        return;
    }
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
    watchSeen_.swap(watchCopy_);
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
