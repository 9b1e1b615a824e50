#include "linux/wayland/handles.h"

#include <sys/mman.h>
#include <unistd.h>

namespace lumivane::wayland {

void CloseFile(int fd) {
    close(fd);
}

void Unmap(size_t bytes, void* address) {
    munmap(address, bytes);
}

} // namespace lumivane::wayland
