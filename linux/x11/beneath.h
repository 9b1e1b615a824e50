#pragma once
// What lies beneath the clock window, read without taking the clock off the screen.
// With the Composite extension every top-level window keeps its whole picture (the
// reader asks the server for automatic redirection), so the windows below the clock are
// read where they lie under it, top to bottom until the clock's area is covered; what
// no window covers is the desktop's own background. Without a compositing manager the
// server paints the root window's background, which a window at the bottom of the stack
// shows too and is read from. A compositing manager paints the wallpaper the setters
// publish (_XROOTPMAP_ID) instead, black without one, and the server then paints no
// root background at all: the reader reads that picture, and the window at the bottom
// is taken away, as its contents would be stale. Without Composite the caller takes the
// clock away for a moment and reads the screen itself.
//
// With the DAMAGE extension a still desktop costs nothing: the reader reads only where
// the server reported a change under the clock since the last read (the windows below,
// the wallpaper), and everything after a restack, a change of the root's background or
// the wallpaper, or a move of the clock; with nothing reported it sends no request.
#include <X11/Xlib.h>
#include <gdk/gdk.h>

#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "core/image/tdib.h"
#include "linux/x11/handles.h"

namespace lumivane::x11 {

class BeneathReader {
  public:
    // `changed` runs when something beneath the clock may have changed.
    BeneathReader(GdkDisplay* display, std::function<void()> changed);
    ~BeneathReader();
    BeneathReader(const BeneathReader&) = delete;
    BeneathReader& operator=(const BeneathReader&) = delete;

    // The clock window, once it is made: its top-level (the window manager's frame, or the
    // window itself) marks where "below" begins.
    void SetClockWindow(Window clock) { clock_ = clock; }
    // Whether ReadBeneath works here (the server has Composite).
    bool SeesBeneath() const { return composited_; }
    // Whether it tells of every change beneath (the server has DAMAGE too).
    bool TellsChanges() const { return damageEventBase_ >= 0; }
    // Fills `target` with the screen area of its size at (left, top) as it would look
    // without the clock; parts beyond the screen are black. False when nothing there
    // changed since the last read (the target is left as it was).
    bool ReadBeneath(TDIB& target, int32_t left, int32_t top);
    // The same area of the screen as it shows, clock and all.
    void ReadScreen(TDIB& target, int32_t left, int32_t top);
    // Every X event the program receives: the list of windows below is read again
    // after windows appear, go, move, restack or change their shape.
    void NoteEvent(const XEvent& event);

  private:
    struct Beneath {
        Window window = 0;
        cairo_rectangle_int_t area{}; // the window's inside, root coordinates
        x11::Region shape;            // where it shows, root coordinates
        Visual* visual = nullptr;
        int depth = 0;
        bool translucent = false; // a 32-bit visual: premultiplied alpha
    };

    void ListWindowsBelow();
    // Keeps a damage object on each window below, and on the wallpaper.
    void WatchDamage();
    // A change the server reported at `part` of a drawable whose origin is at (x, y).
    void Damaged(Drawable drawable, const XRectangle& part);
    // Reads `part` (root coordinates) of `drawable`, whose origin is at (originX,
    // originY) on the root, into `target`, whose origin is at (left, top).
    bool Read(Drawable drawable, Visual* visual, int depth, int32_t originX, int32_t originY,
              const cairo_region_t* part, bool over, TDIB& target, int32_t left, int32_t top);
    void PlaceBackdrop(const cairo_rectangle_int_t& area);
    // Maps the backdrop, or takes it away, when a compositing manager comes or goes.
    void FollowCompositingManager();
    // The wallpaper a compositing manager paints (a pixmap of the root's depth), or None.
    Pixmap Wallpaper();
    // Reads `part` of the desktop's background into `target`, which shows `area`.
    void ReadDesktop(const cairo_rectangle_int_t& area, const cairo_region_t* part, TDIB& target);

    // Marks what a read must read again, and tells of it.
    void Stale(bool windows);

    std::function<void()> changed_;
    GdkDisplay* gdkDisplay_;
    ::Display* display_;
    Window root_;
    Window clock_ = 0;
    Window topLevel_ = 0;
    Window justBelow_ = 0; // the window right below topLevel_ when the list was made
    Window backdrop_ = 0;  // at the bottom of the stack, showing the root's background
    cairo_rectangle_int_t backdropArea_{};
    Visual* rootVisual_;
    int rootDepth_;
    Atom compositingManager_; // the selection a compositing manager holds
    std::array<Atom, 2> wallpaperNames_;
    bool managed_ = false; // a compositing manager paints the screen
    bool backdropMapped_ = false;
    Pixmap wallpaper_ = 0;
    cairo_rectangle_int_t wallpaperArea_{}; // its size; the managers tile it from (0, 0)
    bool wallpaperStale_ = true;
    int shapeEventBase_ = -1;
    bool composited_ = false;
    bool stale_ = true;
    int damageEventBase_ = -1; // none: every read reads everything
    int fixesEventBase_ = -1;
    std::vector<std::pair<Drawable, unsigned long>> damages_; // drawable, its Damage
    cairo_rectangle_int_t lastArea_{};                        // of the last read
    bool wholeStale_ = true;                                  // the next read reads it all
    x11::Region damaged_;                                     // root coordinates
    std::vector<Beneath> beneath_;                            // top to bottom
    std::vector<Window> watched_; // windows whose shape changes are reported to us
    std::unique_ptr<x11::SharedMemory> shared_;
};

} // namespace lumivane::x11
