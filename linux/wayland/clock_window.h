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

struct zwp_relative_pointer_manager_v1;
struct zwp_relative_pointer_v1;

namespace lumivane::wayland {

class BeneathReader;
class FrontWindowWatch;

void DestroyRelativePointers(zwp_relative_pointer_manager_v1* manager);
void DestroyRelativePointer(zwp_relative_pointer_v1* pointer);

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
    // The pointer's travel while a hand is dragged, as the relative pointer tells it (a
    // compositor may give the pointer's place relative to where the surface was at the
    // press, or to where it is now; the travel is the same either way): logical pixels.
    Owned<zwp_relative_pointer_manager_v1*, &DestroyRelativePointers> relativePointers_;
    Owned<zwp_relative_pointer_v1*, &DestroyRelativePointer> travelling_;
    double travelX_ = 0;
    double travelY_ = 0;
    std::vector<PixelRun> hands_;
    bool remapped_ = false; // put on another output since its own went
    int32_t closedInARow_ = 0;
    std::chrono::steady_clock::time_point lastClosed_;
    gtk::Source closing_;
};

} // namespace lumivane::wayland
