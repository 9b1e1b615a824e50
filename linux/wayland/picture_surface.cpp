#include "linux/wayland/picture_surface.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace lumivane::wayland {

namespace {

// More parts than this behind, and the whole picture is copied.
constexpr size_t kMostParts = 16;

} // namespace

void DestroySubsurface(wl_subsurface* subsurface) {
    wl_subsurface_destroy(subsurface);
}

void DestroySurface(wl_surface* surface) {
    wl_surface_destroy(surface);
}

PictureSurface::PictureSurface(wl_compositor* compositor, wl_subcompositor* subcompositor,
                               wl_shm* shm)
    : compositor_(compositor), subcompositor_(subcompositor), shm_(shm) {}

void PictureSurface::Forget() {
    subsurface_.reset();
    surface_.reset();
    parent_ = nullptr;
}

bool PictureSurface::MakeBuffers(int32_t width, int32_t height) {
    for (Slot& slot : slots_) {
        slot = Slot{};
    }
    mapping_.reset();
    file_.reset();
    width_ = height_ = 0;
    const size_t one = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    if (width <= 0 || height <= 0 || 2 * one > INT32_MAX) {
        return false;
    }
    file_ = File(memfd_create("lumivane-picture", MFD_CLOEXEC));
    if (!file_ || ftruncate(file_.get(), static_cast<off_t>(2 * one)) != 0) {
        return false;
    }
    void* address = mmap(nullptr, 2 * one, PROT_READ | PROT_WRITE, MAP_SHARED, file_.get(), 0);
    if (address == MAP_FAILED) {
        return false;
    }
    mapping_ = Mapping(2 * one, address);
    const Proxy<wl_shm_pool> pool(
        wl_shm_create_pool(shm_, file_.get(), static_cast<int32_t>(2 * one)));
    static constexpr wl_buffer_listener kReleased{
        [](void* data, wl_buffer*) { static_cast<Slot*>(data)->held = false; }};
    for (size_t i = 0; i < slots_.size(); ++i) {
        Slot& slot = slots_[i];
        slot.buffer.reset(wl_shm_pool_create_buffer(pool.get(), static_cast<int32_t>(i * one),
                                                    width, height, width * 4,
                                                    WL_SHM_FORMAT_ARGB8888));
        if (!slot.buffer) {
            return false;
        }
        wl_buffer_add_listener(slot.buffer.get(), &kReleased, &slot);
        slot.pixels = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(address) + i * one);
        slot.behind = {Rect{0, 0, width, height}};
    }
    width_ = width;
    height_ = height;
    return true;
}

void PictureSurface::Show(const ArgbImage& picture, std::span<const Rect> parts, wl_surface* parent,
                          int32_t scale) {
    if (!Works() || parent == nullptr) {
        return;
    }
    const Rect whole{0, 0, picture.width, picture.height};
    if (parent != parent_) {
        Forget();
        surface_.reset(wl_compositor_create_surface(compositor_));
        subsurface_.reset(wl_subcompositor_get_subsurface(subcompositor_, surface_.get(), parent));
        wl_subsurface_set_desync(subsurface_.get());
        // Presses go to the layer surface beneath, which takes the hands' pixels.
        const Proxy<wl_region> nothing(wl_compositor_create_region(compositor_));
        wl_surface_set_input_region(surface_.get(), nothing.get());
        parent_ = parent;
        parts = {&whole, 1};
    }
    if (picture.width != width_ || picture.height != height_) {
        if (!MakeBuffers(picture.width, picture.height)) {
            return;
        }
        parts = {&whole, 1};
    }
    if (scale != scale_) {
        scale_ = scale;
        wl_surface_set_buffer_scale(surface_.get(), scale);
        parts = {&whole, 1};
    }
    for (Slot& slot : slots_) {
        slot.behind.insert(slot.behind.end(), parts.begin(), parts.end());
    }
    // A buffer the compositor still holds is left alone; with both held (a compositor
    // that keeps the last two) the frame waits for the next.
    const auto free =
        std::find_if(slots_.begin(), slots_.end(), [](const Slot& s) { return !s.held; });
    if (free == slots_.end() || parts.empty()) {
        return;
    }
    if (free->behind.size() > kMostParts) {
        free->behind = {whole};
    }
    for (const Rect& part : free->behind) {
        for (int32_t y = std::max(part.top, 0); y < std::min(part.bottom, height_); ++y) {
            const int32_t left = std::max(part.left, 0);
            const int32_t right = std::min(part.right, width_);
            if (left < right) {
                std::memcpy(free->pixels + static_cast<size_t>(y) * width_ + left,
                            picture.pixels.data() + static_cast<size_t>(y) * width_ + left,
                            static_cast<size_t>(right - left) * 4);
            }
        }
    }
    free->behind.clear();
    wl_surface_attach(surface_.get(), free->buffer.get(), 0, 0);
    // Buffer coordinates need wl_surface 4; before, the surface's own, scale times smaller.
    const bool inBuffer = wl_proxy_get_version(reinterpret_cast<wl_proxy*>(surface_.get())) >= 4;
    for (const Rect& part : parts) {
        if (inBuffer) {
            wl_surface_damage_buffer(surface_.get(), part.left, part.top, part.Width(),
                                     part.Height());
        } else {
            wl_surface_damage(surface_.get(), part.left / scale, part.top / scale,
                              part.Width() / scale + 2, part.Height() / scale + 2);
        }
    }
    wl_surface_commit(surface_.get());
    free->held = true;
}

} // namespace lumivane::wayland
