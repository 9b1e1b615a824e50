#include "linux/x11/front_window.h"

#include <X11/Xatom.h>
#include <gdk/gdkx.h>

#include <algorithm>
#include <vector>

#include "linux/main_loop.h"
#include "linux/x11/handles.h"
#include "linux/x11/window_tree.h"

namespace lumivane::x11 {

namespace {

// A property of 32-bit items (windows, atoms) of `type`; empty when the window has none.
std::vector<unsigned long> Items(::Display* display, Window window, Atom property, Atom type) {
    Atom actual = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, property, 0, 64, False, type, &actual, &format, &count,
                           &after, &data) != Success) {
        return {};
    }
    const x11::XMemory<unsigned char> owned(data);
    if (actual != type || format != 32 || data == nullptr) {
        return {};
    }
    // Xlib hands out 32-bit items as longs.
    const auto* items = reinterpret_cast<const unsigned long*>(data);
    return {items, items + count};
}

} // namespace

FrontWindowWatch::FrontWindowWatch(GdkDisplay* display, ClockController& controller,
                                   std::function<void()> changed)
    : gdkDisplay_(display), display_(gdk_x11_display_get_xdisplay(display)),
      controller_(controller), changed_(std::move(changed)), root_(DefaultRootWindow(display_)),
      active_(XInternAtom(display_, "_NET_ACTIVE_WINDOW", False)),
      state_(XInternAtom(display_, "_NET_WM_STATE", False)),
      hidden_(XInternAtom(display_, "_NET_WM_STATE_HIDDEN", False)),
      type_(XInternAtom(display_, "_NET_WM_WINDOW_TYPE", False)),
      desktop_(XInternAtom(display_, "_NET_WM_WINDOW_TYPE_DESKTOP", False)) {
    // The active window's name changes on the root; top-level windows move, come and go
    // below it.
    GdkWindow* root = gdk_get_default_root_window();
    gdk_window_set_events(
        root, static_cast<GdkEventMask>(gdk_window_get_events(root) | GDK_PROPERTY_CHANGE_MASK |
                                        GDK_SUBSTRUCTURE_MASK | GDK_FOCUS_CHANGE_MASK));
    // Without a window manager nothing names the active window, and the focus moves between
    // windows without an event the root would hear: each top-level tells of it.
    Window rootReturn = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display_, root_, &rootReturn, &parent, &children, &count)) {
        const x11::XMemory<Window> owned(children);
        for (unsigned int i = 0; i < count; ++i) {
            HearFocus(children[i]);
        }
    }
}

void FrontWindowWatch::HearFocus(Window window) {
    if (Ours(window)) {
        return;
    }
    x11::Trapped(gdkDisplay_, [&] {
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display_, window, &attributes)) {
            XSelectInput(display_, window, attributes.your_event_mask | FocusChangeMask);
        }
    });
}

FrontWindowWatch::~FrontWindowWatch() {
    Follow(None);
}

std::optional<Rect> FrontWindowWatch::Read() {
    const std::vector<unsigned long> active = Items(display_, root_, active_, XA_WINDOW);
    // xfwm4 writes a second item after the window; the first is the one that counts.
    const bool managed = !active.empty();
    Window front = managed ? active.front() : None;
    if (!managed) {
        int revert = 0;
        XGetInputFocus(display_, &front, &revert);
    }
    topLevel_ = 0;
    std::optional<Rect> area;
    bool foreign = false; // another program's window, whose state changes we follow
    x11::Trapped(gdkDisplay_, [&] {
        if (front == None || front == PointerRoot || front == root_) {
            return;
        }
        const Window top = x11::TopLevelOf(display_, front);
        foreign = !Ours(front) && !Ours(top);
        if (!foreign) {
            return;
        }
        topLevel_ = top;
        // Without a window manager to name it, the focus may be inside the program's
        // window; its top-level carries the program's properties.
        const Window described = managed ? front : top;
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(display_, top, &attributes) ||
            attributes.map_state != IsViewable || HasAtom(described, type_, desktop_) ||
            HasAtom(described, state_, hidden_)) {
            return;
        }
        const int32_t borders = 2 * attributes.border_width;
        area = Rect{attributes.x, attributes.y, attributes.x + attributes.width + borders,
                    attributes.y + attributes.height + borders};
    });
    Follow(managed && foreign ? front : None);
    return area;
}

bool FrontWindowWatch::Ours(Window window) const {
    return gdk_x11_window_lookup_for_display(gdkDisplay_, window) != nullptr;
}

bool FrontWindowWatch::HasAtom(Window window, Atom property, Atom value) const {
    const std::vector<unsigned long> atoms = Items(display_, window, property, XA_ATOM);
    return std::find(atoms.begin(), atoms.end(), value) != atoms.end();
}

void FrontWindowWatch::Follow(Window client) {
    if (client == followed_) {
        return;
    }
    // What this program asked of another program's window is its own: given back as it was.
    x11::Trapped(gdkDisplay_, [&] {
        if (followed_ != None) {
            XSelectInput(display_, followed_, followedMask_);
        }
        followed_ = client;
        followedMask_ = 0;
        XWindowAttributes attributes{};
        if (client != None && XGetWindowAttributes(display_, client, &attributes)) {
            followedMask_ = attributes.your_event_mask;
            XSelectInput(display_, client, followedMask_ | PropertyChangeMask);
        }
    });
}

void FrontWindowWatch::NoteEvent(const XEvent& event) {
    Window window = None;
    switch (event.type) {
    case PropertyNotify:
        if ((event.xproperty.window == root_ && event.xproperty.atom == active_) ||
            (event.xproperty.window == followed_ && event.xproperty.atom == state_)) {
            Changed();
        }
        return;
    case FocusIn:
    case FocusOut:
        Changed();
        return;
    case CreateNotify:
        if (event.xcreatewindow.parent == root_) {
            HearFocus(event.xcreatewindow.window);
        }
        return;
    case ConfigureNotify:
        window = event.xconfigure.window;
        break;
    case MapNotify:
        window = event.xmap.window;
        break;
    case UnmapNotify:
        window = event.xunmap.window;
        break;
    case DestroyNotify:
        window = event.xdestroywindow.window;
        break;
    case ReparentNotify:
        window = event.xreparent.window;
        break;
    default:
        return;
    }
    if (window != None && (window == topLevel_ || window == followed_)) {
        Changed();
    }
}

void FrontWindowWatch::Changed() {
    // A move of the front window brings many events; one look after them is enough.
    if (lookPending_) {
        return;
    }
    lookPending_ = true;
    pending_ = gtk::After(0, controller_, [this] {
        lookPending_ = false;
        changed_();
    });
}

} // namespace lumivane::x11
