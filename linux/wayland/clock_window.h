#pragma once
// The clock window of the Linux program on Wayland: the Wayland platform of the clock's life
// (ClockController). It shows the see-through picture on the clock's layer surface
// (layer_surface.h), which the compositor blends over what lies beneath; the hands' pixels
// take input and feed the drag; what lies beneath is captured where the compositor allows
// it (wlr-screencopy), and full-screen toplevels are heard of where it tells them
// (wlr-foreign-toplevel-management).
#include <gtk/gtk.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/image/visible_runs.h"
#include "linux/desktop_clock.h"
#include "linux/wayland/layer_surface.h"

namespace lumivane::wayland {

class BeneathReader;
class FrontWindowWatch;
class PointerTravel;

class ClockWindow : public gtk::DesktopClock {
  public:
    // Makes the window and starts the clock in it; `closed` runs when the compositor
    // closes it for good (the program ends).
    ClockWindow(ClockState& state, std::function<void()> closed);
    ~ClockWindow() override;
    ClockWindow(const ClockWindow&) = delete;
    ClockWindow& operator=(const ClockWindow&) = delete;

    GtkWindow* Window() const override { return surface_.Window(); }
    std::string Note() const override;

    // ClockPlatform
    PlatformTraits Traits() const override { return traits_; }
    std::vector<Rect> Monitors() override;
    void SizeWindow(int32_t side) override { surface_.Size(side); }
    void MoveWindow(Place to) override { surface_.Put(to, controller_.Dragging()); }
    void ShowWindow(bool shown) override;
    std::optional<ScreenCapture> CaptureScreen(const Rect& area) override;
    void Present(const Frame& frame) override;
    std::optional<Rect> FrontWindow() override;

  private:
    void Pressed(const GdkEventButton& event) override;
    std::optional<Place> PointerAt(const GdkEventMotion& event) const override;
    void Released() override;
    // The compositor closed the surface: gone with its output, or for good.
    void Closed();

    std::function<void()> closed_;
    LayerSurface surface_;
    PlatformTraits traits_;
    std::unique_ptr<BeneathReader> reader_;
    std::unique_ptr<FrontWindowWatch> front_;
    std::unique_ptr<PointerTravel> travel_;
    bool travelling_ = false; // the relative pointer tells the drag's travel
    std::vector<PixelRun> hands_;
    bool remapped_ = false; // put on another output since its own went
    int32_t closedInARow_ = 0;
    std::chrono::steady_clock::time_point lastClosed_;
    gtk::Source closing_;
};

} // namespace lumivane::wayland
