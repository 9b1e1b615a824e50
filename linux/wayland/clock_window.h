#pragma once
// The clock window of the Linux program on Wayland: a layer surface (wlr-layer-shell, through
// gtk-layer-shell) on the overlay layer of the output that holds the clock's place, anchored
// at its top-left corner with that place as margins, without keyboard focus, reserving no
// room. It is the Wayland platform of the clock's life (ClockController): the compositor
// blends the see-through picture over what lies beneath (shown on a surface of its own,
// picture_surface.h), the hands' pixels take input and feed the drag, what lies beneath is
// captured where the compositor allows it (wlr-screencopy), and full-screen toplevels are
// heard of where it tells them (wlr-foreign-toplevel-management).
#include <gtk/gtk.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/image/visible_runs.h"
#include "linux/desktop_clock.h"
#include "linux/wayland/globals.h"
#include "linux/wayland/monitors.h"

namespace lumivane::wayland {

class BeneathReader;
class FrontWindowWatch;
class PictureSurface;
class PointerTravel;

class ClockWindow : public gtk::DesktopClock {
  public:
    // Makes the window and starts the clock in it; `closed` runs when the compositor
    // closes it for good (the program ends).
    ClockWindow(ClockState& state, std::function<void()> closed);
    ~ClockWindow() override;
    ClockWindow(const ClockWindow&) = delete;
    ClockWindow& operator=(const ClockWindow&) = delete;

    GtkWindow* Window() const override { return GTK_WINDOW(window_.get()); }
    std::string Note() const override;

    // ClockPlatform
    PlatformTraits Traits() const override { return traits_; }
    std::vector<Rect> Monitors() override;
    void SizeWindow(int32_t side) override;
    void MoveWindow(Place to) override;
    void ShowWindow(bool shown) override;
    std::optional<ScreenCapture> CaptureScreen(const Rect& area) override;
    void Present(const Frame& frame) override;
    std::optional<Rect> FrontWindow() override;

  private:
    // Puts the surface at `to` on the output that holds it; while a hand is dragged on
    // the one it is on (remapped elsewhere, it would lose the pointer's grab).
    void PutAt(Place to);
    const Output& OutputAt(Place at) const;
    void Pressed(const GdkEventButton& event);
    void Released();
    // Maps the surface anew, where it should be.
    void Remap();
    // The compositor closed the surface: gone with its output, or for good.
    void Closed();
    // The surface was unmapped: the toolkit makes it anew.
    void Unmapped();
    // The hands' pixels take input.
    void SetInputRegion(const std::vector<uint8_t>& hands, wl_surface* surface);

    std::function<void()> closed_;
    gtk::Widget window_;
    GtkWidget* area_ = nullptr; // the window's child, which the toolkit draws
    GdkDisplay* display_;
    Globals globals_;
    PlatformTraits traits_;
    std::unique_ptr<BeneathReader> reader_;
    std::unique_ptr<FrontWindowWatch> front_;
    std::unique_ptr<PictureSurface> picture_;
    std::unique_ptr<PointerTravel> travel_;
    bool travelling_ = false; // the relative pointer tells the drag's travel
    std::vector<Output> outputs_;
    GdkMonitor* monitor_ = nullptr; // the output the surface is on
    int32_t scale_ = 1;
    int32_t side_ = 1;
    Place place_;                      // where the surface is asked to be
    std::optional<Place> committedAt_; // where its last commit put it, while it shows
    bool shown_ = false;
    std::vector<PixelRun> runs_;
    std::vector<PixelRun> inputRuns_;
    bool inputSet_ = false; // on the surface the toolkit has now
    bool remapped_ = false; // put on another output since its own went
    int32_t closedInARow_ = 0;
    std::chrono::steady_clock::time_point lastClosed_;
    gtk::Source closing_;
};

} // namespace lumivane::wayland
