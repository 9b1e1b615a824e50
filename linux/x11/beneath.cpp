#include "linux/x11/beneath.h"

#include <X11/Xatom.h>
#include <X11/extensions/Xcomposite.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/shape.h>
#include <gdk/gdkx.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "linux/x11/pixels.h"
#include "linux/x11/window_tree.h"

namespace lumivane::x11 {

namespace {

bool Empty(const cairo_region_t* region) {
    return cairo_region_is_empty(region);
}

// Blackens `part` (root coordinates) of `target`, which shows the screen from (left, top).
void BlackenPart(const cairo_region_t* part, TDIB& target, int32_t left, int32_t top) {
    for (int i = 0; i < cairo_region_num_rectangles(part); ++i) {
        cairo_rectangle_int_t r{};
        cairo_region_get_rectangle(part, i, &r);
        for (int32_t y = r.y; y < r.y + r.height; ++y) {
            std::memset(target.Row(y - top) + 3 * static_cast<ptrdiff_t>(r.x - left), 0,
                        3 * static_cast<size_t>(r.width));
        }
    }
}

} // namespace

BeneathReader::BeneathReader(GdkDisplay* display, std::function<void()> changed)
    : changed_(std::move(changed)), gdkDisplay_(display),
      display_(gdk_x11_display_get_xdisplay(display)), root_(DefaultRootWindow(display_)),
      rootVisual_(DefaultVisual(display_, DefaultScreen(display_))),
      rootDepth_(DefaultDepth(display_, DefaultScreen(display_))),
      compositingManager_(XInternAtom(
          display_, ("_NET_WM_CM_S" + std::to_string(DefaultScreen(display_))).c_str(), False)),
      wallpaperNames_{XInternAtom(display_, "_XROOTPMAP_ID", False),
                      XInternAtom(display_, "ESETROOT_PMAP_ID", False)} {
    int shapeError = 0;
    if (!XShapeQueryExtension(display_, &shapeEventBase_, &shapeError)) {
        shapeEventBase_ = -1;
    }
    int compositeEvent = 0;
    int compositeError = 0;
    int major = 0;
    int minor = 2;
    if (XCompositeQueryExtension(display_, &compositeEvent, &compositeError) &&
        XCompositeQueryVersion(display_, &major, &minor) && (major > 0 || minor >= 2)) {
        composited_ = x11::Trapped(gdkDisplay_, [&] {
            XCompositeRedirectSubwindows(display_, root_, CompositeRedirectAutomatic);
            XSync(display_, False);
        });
    }
    if (composited_) {
        // Redirected like every top-level window, its picture is the root's background
        // wherever it lies. Input passes through it.
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.background_pixmap = ParentRelative;
        backdrop_ = XCreateWindow(display_, root_, 0, 0, 1, 1, 0, CopyFromParent, InputOutput,
                                  CopyFromParent, CWOverrideRedirect | CWBackPixmap, &attributes);
        XStoreName(display_, backdrop_, "Lumivane backdrop");
        const Atom type = XInternAtom(display_, "_NET_WM_WINDOW_TYPE", False);
        const Atom desktop = XInternAtom(display_, "_NET_WM_WINDOW_TYPE_DESKTOP", False);
        XChangeProperty(display_, backdrop_, type, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&desktop), 1);
        XShapeCombineRectangles(display_, backdrop_, ShapeInput, 0, 0, nullptr, 0, ShapeSet,
                                Unsorted);
        FollowCompositingManager();
    }
    int error = 0;
    int fixesError = 0;
    if (composited_ && XDamageQueryExtension(display_, &damageEventBase_, &error) &&
        XFixesQueryExtension(display_, &fixesEventBase_, &fixesError)) {
        // A compositing manager that comes or goes changes what the desktop looks like.
        XFixesSelectSelectionInput(display_, root_, compositingManager_,
                                   XFixesSetSelectionOwnerNotifyMask |
                                       XFixesSelectionWindowDestroyNotifyMask |
                                       XFixesSelectionClientCloseNotifyMask);
    } else {
        damageEventBase_ = -1;
    }
    damaged_.reset(cairo_region_create());
    // This replaces the root's events GDK chose without telling its window, the structure
    // among them (a settings daemon announces itself so). The wallpaper's names are
    // properties of the root; a new background of the root exposes it.
    GdkWindow* root = gdk_get_default_root_window();
    gdk_window_set_events(root,
                          static_cast<GdkEventMask>(gdk_window_get_events(root) |
                                                    GDK_SUBSTRUCTURE_MASK | GDK_STRUCTURE_MASK |
                                                    GDK_PROPERTY_CHANGE_MASK | GDK_EXPOSURE_MASK));
}

BeneathReader::~BeneathReader() {
    shared_.reset();
    x11::Trapped(gdkDisplay_, [&] {
        for (const auto& [drawable, damage] : damages_) {
            XDamageDestroy(display_, damage);
        }
    });
    if (backdrop_ != 0) {
        XDestroyWindow(display_, backdrop_);
    }
    if (composited_) {
        XCompositeUnredirectSubwindows(display_, root_, CompositeRedirectAutomatic);
    }
    XFlush(display_);
}

void BeneathReader::NoteEvent(const XEvent& event) {
    if (damageEventBase_ >= 0 && event.type == damageEventBase_ + XDamageNotify) {
        const auto& damage = reinterpret_cast<const XDamageNotifyEvent&>(event);
        Damaged(damage.drawable, damage.area);
        return;
    }
    if (damageEventBase_ >= 0 && event.type == fixesEventBase_ + XFixesSelectionNotify) {
        Stale(false);
        return;
    }
    switch (event.type) {
    case PropertyNotify:
        if (event.xproperty.window == root_ &&
            std::find(wallpaperNames_.begin(), wallpaperNames_.end(), event.xproperty.atom) !=
                wallpaperNames_.end()) {
            wallpaperStale_ = true;
            Stale(false);
        }
        return;
    case Expose:
        if (event.xexpose.window == root_) {
            Stale(false);
        }
        return;
    case ConfigureNotify:
        // The clock's own moves leave the windows below as they were; a restack does not.
        if (event.xconfigure.window == backdrop_ ||
            (event.xconfigure.window == topLevel_ && event.xconfigure.above == justBelow_)) {
            return;
        }
        Stale(true);
        return;
    case CreateNotify:
    case DestroyNotify:
    case MapNotify:
    case UnmapNotify:
    case ReparentNotify:
    case CirculateNotify:
        Stale(true);
        return;
    default:
        if (shapeEventBase_ >= 0 && event.type == shapeEventBase_ + ShapeNotify) {
            Stale(true);
        }
        return;
    }
}

void BeneathReader::Stale(bool windows) {
    stale_ |= windows;
    wholeStale_ = true;
    changed_();
}

void BeneathReader::Damaged(Drawable drawable, const XRectangle& part) {
    if (drawable == wallpaper_) {
        Stale(false); // tiled over the screen
        return;
    }
    for (const Beneath& below : beneath_) {
        if (below.window == drawable) {
            cairo_rectangle_int_t changed{below.area.x + part.x, below.area.y + part.y, part.width,
                                          part.height};
            if (gdk_rectangle_intersect(&changed, &lastArea_, &changed)) {
                cairo_region_union_rectangle(damaged_.get(), &changed);
                changed_();
            }
            return;
        }
    }
}

void BeneathReader::WatchDamage() {
    std::vector<Drawable> wanted;
    for (const Beneath& below : beneath_) {
        wanted.push_back(below.window);
    }
    if (managed_ && Wallpaper() != 0) {
        wanted.push_back(wallpaper_);
    }
    x11::Trapped(gdkDisplay_, [&] {
        std::erase_if(damages_, [&](const auto& watched) {
            if (std::find(wanted.begin(), wanted.end(), watched.first) != wanted.end()) {
                return false;
            }
            XDamageDestroy(display_, watched.second); // gone already with its window
            return true;
        });
        for (const Drawable drawable : wanted) {
            if (std::find_if(damages_.begin(), damages_.end(), [&](const auto& watched) {
                    return watched.first == drawable;
                }) == damages_.end()) {
                damages_.emplace_back(
                    drawable, XDamageCreate(display_, drawable, XDamageReportRawRectangles));
            }
        }
    });
}

void BeneathReader::ListWindowsBelow() {
    beneath_.clear();
    stale_ = clock_ == 0;
    if (stale_) {
        return;
    }
    Window rootReturn = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    x11::XMemory<Window> owned;
    Window* end = nullptr;
    // A window manager may take the clock into its frame between the two questions; then
    // every window, the frame too, would seem to lie below the clock.
    for (int attempt = 0; attempt < 3; ++attempt) {
        topLevel_ = x11::TopLevelOf(display_, clock_);
        if (!XQueryTree(display_, root_, &rootReturn, &parent, &children, &count)) {
            return;
        }
        owned.reset(children);
        end = std::find(children, children + count, topLevel_);
        if (end != children + count) {
            break;
        }
    }
    if (end == children + count) {
        stale_ = true; // until then only the desktop shows beneath
        return;
    }
    // A window manager restacking the windows it manages may put one below the backdrop,
    // which would then cover it.
    if (backdropMapped_ && count > 0 && children[0] != backdrop_) {
        XLowerWindow(display_, backdrop_);
    }
    // Bottom to top; the clock's top-level and what lies above it are of no concern.
    justBelow_ = end != children ? *(end - 1) : 0;
    for (auto it = end; it != children;) {
        const Window window = *--it;
        if (window == backdrop_) {
            continue;
        }
        XWindowAttributes attributes{};
        Beneath below;
        const bool read = x11::Trapped(gdkDisplay_, [&] {
            if (!XGetWindowAttributes(display_, window, &attributes)) {
                attributes.map_state = IsUnmapped;
            }
            if (shapeEventBase_ >= 0 &&
                std::find(watched_.begin(), watched_.end(), window) == watched_.end()) {
                XShapeSelectInput(display_, window, ShapeNotifyMask);
                watched_.push_back(window);
            }
            below.area = {attributes.x + attributes.border_width,
                          attributes.y + attributes.border_width, attributes.width,
                          attributes.height};
            below.shape = x11::MakeRegion(below.area);
            int ordering = 0;
            int count = 0;
            if (shapeEventBase_ >= 0 && attributes.map_state == IsViewable) {
                x11::XMemory<XRectangle> rectangles(
                    XShapeGetRectangles(display_, window, ShapeBounding, &count, &ordering));
                if (rectangles && count >= 0) {
                    x11::Region shape(cairo_region_create());
                    for (int i = 0; i < count; ++i) {
                        const XRectangle& r = rectangles.get()[i];
                        const cairo_rectangle_int_t part{below.area.x + r.x, below.area.y + r.y,
                                                         r.width, r.height};
                        cairo_region_union_rectangle(shape.get(), &part);
                    }
                    cairo_region_intersect(below.shape.get(), shape.get());
                }
            }
        });
        if (!read || attributes.map_state != IsViewable || attributes.c_class != InputOutput) {
            continue;
        }
        below.window = window;
        below.visual = attributes.visual;
        below.depth = attributes.depth;
        below.translucent = attributes.depth == 32;
        beneath_.push_back(std::move(below));
    }
    // Windows gone since are not watched any more.
    std::erase_if(watched_, [&](Window window) {
        return std::find(children, children + count, window) == children + count;
    });
}

bool BeneathReader::ReadBeneath(TDIB& target, int32_t left, int32_t top) {
    cairo_rectangle_int_t area{left, top, target.Width(), target.Height()};
    const bool whole = damageEventBase_ < 0 || wholeStale_ || area.x != lastArea_.x ||
                       area.y != lastArea_.y || area.width != lastArea_.width ||
                       area.height != lastArea_.height;
    if (!whole && Empty(damaged_.get())) {
        return false;
    }
    // Taken before the read: a change reported meanwhile is read at the next frame.
    const x11::Region remaining =
        whole ? x11::MakeRegion(area) : x11::Region(cairo_region_copy(damaged_.get()));
    damaged_.reset(cairo_region_create());
    wholeStale_ = false;
    lastArea_ = area;
    if (whole) {
        FollowCompositingManager();
    }
    if (stale_) {
        ListWindowsBelow();
    }
    if (whole && damageEventBase_ >= 0) {
        WatchDamage();
    }
    const int32_t screenWidth = DisplayWidth(display_, DefaultScreen(display_));
    const int32_t screenHeight = DisplayHeight(display_, DefaultScreen(display_));
    const cairo_rectangle_int_t screen{0, 0, screenWidth, screenHeight};
    cairo_region_intersect_rectangle(remaining.get(), &screen);
    // What lies beyond the screen is black (and stays so until the clock moves); the rest
    // is read below.
    bool black =
        whole && cairo_region_contains_rectangle(remaining.get(), &area) != CAIRO_REGION_OVERLAP_IN;

    // Top to bottom, each window takes what it covers of what is still uncovered; then
    // the pictures are laid bottom to top, so that translucent windows lie over the rest.
    struct Part {
        const Beneath* below;
        x11::Region region;
    };
    std::vector<Part> parts;
    for (const Beneath& below : beneath_) {
        if (Empty(remaining.get())) {
            break;
        }
        x11::Region part(cairo_region_copy(remaining.get()));
        cairo_region_intersect(part.get(), below.shape.get());
        if (Empty(part.get())) {
            continue;
        }
        if (!below.translucent) {
            cairo_region_subtract(remaining.get(), part.get());
        }
        parts.push_back({&below, std::move(part)});
    }
    const bool desktopShows = !Empty(remaining.get());
    if (desktopShows && managed_ && Wallpaper() == 0) {
        // What the compositing managers paint without a wallpaper.
        if (whole) {
            black = true;
        } else {
            BlackenPart(remaining.get(), target, left, top);
        }
    }
    if (black) {
        target.Blacken();
    }
    if (desktopShows) {
        ReadDesktop(area, remaining.get(), target);
    }
    bool complete = true;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
        const Beneath& below = *it->below;
        complete &= Read(below.window, below.visual, below.depth, below.area.x, below.area.y,
                         it->region.get(), below.translucent, target, left, top);
    }
    if (!complete) {
        Stale(true); // a window went away in the meantime
    }
    return true;
}

void BeneathReader::FollowCompositingManager() {
    managed_ = XGetSelectionOwner(display_, compositingManager_) != None;
    if (backdrop_ == 0 || backdropMapped_ == !managed_) {
        return;
    }
    backdropMapped_ = !managed_;
    if (backdropMapped_) {
        XMapWindow(display_, backdrop_);
        XLowerWindow(display_, backdrop_);
    } else {
        XUnmapWindow(display_, backdrop_);
    }
}

Pixmap BeneathReader::Wallpaper() {
    if (!wallpaperStale_) {
        return wallpaper_;
    }
    wallpaperStale_ = false;
    wallpaper_ = 0;
    for (const Atom name : wallpaperNames_) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display_, root_, name, 0, 1, False, XA_PIXMAP, &type, &format,
                               &count, &after, &data) != Success) {
            continue;
        }
        const x11::XMemory<unsigned char> owned(data);
        if (type != XA_PIXMAP || format != 32 || count != 1) {
            continue;
        }
        // Xlib hands out 32-bit items as longs.
        const auto pixmap = static_cast<Pixmap>(*reinterpret_cast<const unsigned long*>(data));
        Window rootReturn = 0;
        int x = 0;
        int y = 0;
        unsigned int width = 0;
        unsigned int height = 0;
        unsigned int border = 0;
        unsigned int depth = 0;
        Status found = 0;
        // The setter may have freed it since.
        if (x11::Trapped(gdkDisplay_,
                         [&] {
                             found = XGetGeometry(display_, pixmap, &rootReturn, &x, &y, &width,
                                                  &height, &border, &depth);
                         }) &&
            found != 0 && static_cast<int>(depth) == rootDepth_ && width > 0 && height > 0) {
            wallpaper_ = pixmap;
            wallpaperArea_ = {0, 0, static_cast<int>(width), static_cast<int>(height)};
            break;
        }
    }
    return wallpaper_;
}

void BeneathReader::ReadDesktop(const cairo_rectangle_int_t& area, const cairo_region_t* part,
                                TDIB& target) {
    if (!managed_) {
        if (backdrop_ != 0) {
            PlaceBackdrop(area);
            Read(backdrop_, rootVisual_, rootDepth_, backdropArea_.x, backdropArea_.y, part, false,
                 target, area.x, area.y);
        }
        return;
    }
    const Pixmap wallpaper = Wallpaper();
    if (wallpaper == 0) {
        return;
    }
    // Tiled from the screen's origin; `part` lies on the screen.
    cairo_rectangle_int_t box{};
    cairo_region_get_extents(part, &box);
    const int32_t width = wallpaperArea_.width;
    const int32_t height = wallpaperArea_.height;
    for (int32_t y = box.y - box.y % height; y < box.y + box.height; y += height) {
        for (int32_t x = box.x - box.x % width; x < box.x + box.width; x += width) {
            const x11::Region tile(cairo_region_copy(part));
            const cairo_rectangle_int_t place{x, y, width, height};
            cairo_region_intersect_rectangle(tile.get(), &place);
            if (!Read(wallpaper, rootVisual_, rootDepth_, x, y, tile.get(), false, target, area.x,
                      area.y)) {
                wallpaperStale_ = true;
                return;
            }
        }
    }
}

void BeneathReader::PlaceBackdrop(const cairo_rectangle_int_t& area) {
    if (area.x != backdropArea_.x || area.y != backdropArea_.y ||
        area.width != backdropArea_.width || area.height != backdropArea_.height) {
        XMoveResizeWindow(display_, backdrop_, area.x, area.y, static_cast<unsigned>(area.width),
                          static_cast<unsigned>(area.height));
        backdropArea_ = area;
    }
    // The root's background may have changed, and a moved window keeps its old picture.
    XClearWindow(display_, backdrop_);
}

void BeneathReader::ReadScreen(TDIB& target, int32_t left, int32_t top) {
    target.Blacken();
    const int32_t screenWidth = DisplayWidth(display_, DefaultScreen(display_));
    const int32_t screenHeight = DisplayHeight(display_, DefaultScreen(display_));
    const x11::Region part = x11::MakeRegion({left, top, target.Width(), target.Height()});
    const cairo_rectangle_int_t screen{0, 0, screenWidth, screenHeight};
    cairo_region_intersect_rectangle(part.get(), &screen);
    Read(root_, rootVisual_, rootDepth_, 0, 0, part.get(), false, target, left, top);
}

bool BeneathReader::Read(Drawable drawable, Visual* visual, int depth, int32_t originX,
                         int32_t originY, const cairo_region_t* part, bool over, TDIB& target,
                         int32_t left, int32_t top) {
    if (Empty(part)) {
        return true;
    }
    cairo_rectangle_int_t box{};
    cairo_region_get_extents(part, &box);
    const int32_t x = box.x - originX;
    const int32_t y = box.y - originY;
    const auto width = static_cast<unsigned>(box.width);
    const auto height = static_cast<unsigned>(box.height);
    x11::Image image;
    const size_t bytes = static_cast<size_t>(width) * height * 4;
    if (!shared_ || shared_->Size() < bytes) {
        shared_.reset();
        shared_ = x11::SharedMemory::Attach(display_, std::max<size_t>(bytes, 512 * 512 * 4));
    }
    const bool read = x11::Trapped(gdkDisplay_, [&] {
        if (shared_) {
            image = x11::Image(
                false, XShmCreateImage(display_, visual, static_cast<unsigned>(depth), ZPixmap,
                                       shared_->Data(), shared_->Info(), width, height));
            if (image && image->bits_per_pixel == 32 &&
                XShmGetImage(display_, drawable, image.get(), x, y, AllPlanes)) {
                XSync(display_, False);
                return;
            }
            image.reset();
        }
        image = x11::Image(true,
                           XGetImage(display_, drawable, x, y, width, height, AllPlanes, ZPixmap));
    });
    if (!read || !image) {
        return false;
    }
    if (image->red_mask == 0 && image->green_mask == 0 && image->blue_mask == 0) {
        // A pixmap has no visual; its pixels are those of the visual it was made for.
        image->red_mask = visual->red_mask;
        image->green_mask = visual->green_mask;
        image->blue_mask = visual->blue_mask;
    }
    for (int i = 0; i < cairo_region_num_rectangles(part); ++i) {
        cairo_rectangle_int_t r{};
        cairo_region_get_rectangle(part, i, &r);
        x11::CopyToBuffer(*image.get(),
                          {r.x - box.x, r.y - box.y, r.x - box.x + r.width, r.y - box.y + r.height},
                          target, r.x - left, r.y - top, over);
    }
    return true;
}

} // namespace lumivane::x11
