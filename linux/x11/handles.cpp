#include "linux/x11/handles.h"

#include <gdk/gdkx.h>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace lumivane::x11 {

void DestroyImage(bool ownsData, XImage* image) {
    if (!ownsData) {
        image->data = nullptr; // XDestroyImage frees the pixels it finds
    }
    XDestroyImage(image);
}

std::unique_ptr<SharedMemory> SharedMemory::Attach(::Display* display, size_t bytes) {
    if (!XShmQueryExtension(display)) {
        return nullptr;
    }
    std::unique_ptr<SharedMemory> memory(new SharedMemory(display, bytes));
    XShmSegmentInfo& info = memory->info_;
    info.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (info.shmid < 0) {
        return nullptr;
    }
    void* address = shmat(info.shmid, nullptr, 0);
    // Marked for removal at once: the segment goes when both sides have detached, even
    // if this process dies first.
    shmctl(info.shmid, IPC_RMID, nullptr);
    if (address == reinterpret_cast<void*>(-1)) {
        return nullptr;
    }
    info.shmaddr = static_cast<char*>(address);
    info.readOnly = False;
    // A server on another machine refuses the segment; that is reported as an X error.
    GdkDisplay* gdk = gdk_x11_lookup_xdisplay(display);
    if (gdk != nullptr) {
        gdk_x11_display_error_trap_push(gdk);
    }
    const Bool attached = XShmAttach(display, &info);
    XSync(display, False);
    const int error = gdk != nullptr ? gdk_x11_display_error_trap_pop(gdk) : 0;
    memory->attached_ = attached && error == 0;
    if (!memory->attached_) {
        return nullptr;
    }
    return memory;
}

SharedMemory::~SharedMemory() {
    if (attached_) {
        XShmDetach(display_, &info_);
        XSync(display_, False);
    }
    if (info_.shmaddr != nullptr) {
        shmdt(info_.shmaddr);
    }
}

} // namespace lumivane::x11
