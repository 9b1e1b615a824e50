#include "linux/wayland/handles.h"

#include <sys/mman.h>
#include <unistd.h>

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

} // namespace lumivane::wayland
