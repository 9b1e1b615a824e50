#include "linux/wayland/handles.h"

#include <sys/mman.h>
#include <unistd.h>

#include <climits>

namespace lumivane::wayland {

void CloseFile(int fd) {
    close(fd);
}

void DestroyBuffer(wl_buffer* buffer) {
    wl_buffer_destroy(buffer);
}

void Unmap(size_t bytes, void* address) {
    munmap(address, bytes);
}

bool SharedBuffers::Make(wl_shm* shm, size_t count, uint32_t width, uint32_t height,
                         uint32_t stride, uint32_t format) {
    buffers_.clear();
    mapping_.reset();
    file_.reset();
    each_ = static_cast<size_t>(stride) * height;
    if (shm == nullptr || width == 0 || height == 0 || stride < width * 4 ||
        count * each_ > INT32_MAX) {
        return false;
    }
    const auto bytes = static_cast<int32_t>(count * each_);
    file_ = File(memfd_create("lumivane", MFD_CLOEXEC));
    if (!file_ || ftruncate(file_.get(), bytes) != 0) {
        return false;
    }
    void* address = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, file_.get(), 0);
    if (address == MAP_FAILED) {
        return false;
    }
    mapping_ = Mapping(static_cast<size_t>(bytes), address);
    const Proxy<wl_shm_pool> pool(wl_shm_create_pool(shm, file_.get(), bytes));
    for (size_t i = 0; i < count; ++i) {
        buffers_.emplace_back(wl_shm_pool_create_buffer(
            pool.get(), static_cast<int32_t>(i * each_), static_cast<int32_t>(width),
            static_cast<int32_t>(height), static_cast<int32_t>(stride), format));
        if (!buffers_.back()) {
            return false;
        }
    }
    return true;
}

} // namespace lumivane::wayland
