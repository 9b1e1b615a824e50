#include "linux/x11/window_tree.h"

#include "linux/x11/handles.h"

namespace lumivane::x11 {

Window TopLevelOf(::Display* display, Window window) {
    for (;;) {
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, window, &root, &parent, &children, &count)) {
            return window;
        }
        XMemory<Window> owned(children);
        if (parent == root || parent == 0) {
            return window;
        }
        window = parent;
    }
}

} // namespace lumivane::x11
