#pragma once
// What libwayland and the system hand the Wayland front end, held by Owned (core/owned.h)
// so that each is given back on every path.
#include <cairo.h>
#include <wayland-client.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/owned.h"

namespace lumivane::wayland {

template <class T> void DestroyProxy(T* proxy) {
    wl_proxy_destroy(reinterpret_cast<wl_proxy*>(proxy));
}
void CloseFile(int fd);
void DestroyBuffer(wl_buffer* buffer);
void Unmap(size_t bytes, void* address);

// A wl_display wrapper that sends its requests' new objects to another queue.
using Wrapper = Owned<void*, &wl_proxy_wrapper_destroy>;
using Queue = Owned<wl_event_queue*, &wl_event_queue_destroy>;
// A proxy whose interface has no destructor request (wl_registry, wl_callback, wl_shm).
template <class T> using Proxy = Owned<T*, &DestroyProxy<T>>;
using File = Owned<int, &CloseFile, std::nullptr_t, -1>;
using Mapping = Owned<void*, &Unmap, size_t>;
using Buffer = Owned<wl_buffer*, &DestroyBuffer>;
using Surface = Owned<cairo_surface_t*, &cairo_surface_destroy>;

// Shared memory for `count` buffers of one size and format, which the compositor reads (a
// picture) or fills (a capture).
class SharedBuffers {
  public:
    // Makes them anew; false when the system refuses.
    bool Make(wl_shm* shm, size_t count, uint32_t width, uint32_t height, uint32_t stride,
              uint32_t format);
    wl_buffer* Get(size_t i) const { return buffers_[i].get(); }
    uint8_t* Bytes(size_t i) const { return static_cast<uint8_t*>(mapping_.get()) + i * each_; }

  private:
    File file_;
    Mapping mapping_;
    std::vector<Buffer> buffers_;
    size_t each_ = 0;
};

} // namespace lumivane::wayland
