#pragma once
// The clock window of the Linux program on Wayland: a layer surface (wlr-layer-shell, through
// gtk-layer-shell) on the overlay layer of the output that holds the clock's place,
// anchored at its top-left corner with that place as margins, without keyboard focus,
// reserving no room. It is the Wayland platform of the clock's life (ClockController): it
// shows the frame see-through (core/render/see_through.h: the compositor darkens what lies
// beneath), gives input to the hands' pixels only, moves the surface while a hand is
// dragged, captures what lies beneath where the compositor allows it (wlr-screencopy) and
// hears of full-screen toplevels where it tells them (wlr-foreign-toplevel-management).
#include <gtk/gtk.h>
#include <wayland-client.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/image/visible_runs.h"
#include "core/render/see_through.h"
#include "linux/desktop_clock.h"
#include "linux/wayland/handles.h"
#include "linux/wayland/monitors.h"

struct zwp_relative_pointer_manager_v1;
struct zwp_relative_pointer_v1;

namespace lumivane::wayland {

class FrontWindowWatch;
class ScreenReader;

class ClockWindow : public DesktopClock {
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
    PlatformTraits Traits() const override;
    std::vector<Rect> Monitors() override;
    void SizeWindow(int32_t side) override;
    void MoveWindow(Place to) override;
    void ShowWindow(bool shown) override;
    bool ReadBeneath(TDIB& background, Place at) override;
    void Present(std::span<const Rect> parts) override;
    std::optional<Rect> FrontWindow() override;

  private:
    // Puts the surface at `to` on the output that holds it, or with `keepOutput` on the
    // one it is on.
    void PutAt(Place to, bool keepOutput = false);
    const Output& OutputAt(Place at) const;
    void Paint(cairo_t* cairo);
    void Follow(Place to);
    void Pressed(const GdkEventButton& event);
    void Dragged(const GdkEventMotion& event);
    void Released();
    // The compositor closed the surface: gone with its output, or for good.
    void Closed();
    void SetInputRegion();
    // The screen beneath the clock showed something new (`copy`, where the compositor
    // made one): whether it may be a change beneath, which the next frame then reads.
    bool BeneathMayHaveChanged(const ScreenCapture* copy);

    std::function<void()> closed_;
    Widget window_;
    GtkWidget* area_ = nullptr; // the window's child, which draws
    GdkDisplay* display_;
    std::unique_ptr<ScreenReader> reader_;
    std::unique_ptr<FrontWindowWatch> front_;
    std::vector<Output> outputs_;
    GdkMonitor* monitor_ = nullptr; // the output the surface is on
    int32_t scale_ = 1;
    int32_t side_ = 1;
    Place place_; // where the surface is asked to be
    bool shown_ = false;
    // The reader's watch saw the screen change beneath the clock since the last capture.
    bool beneathChanged_ = true;

    ArgbImage composed_; // the latest frame
    bool composedNew_ = false;
    ArgbImage painted_; // what the last paint gave the compositor, and where
    std::optional<Place> paintedAt_;
    Estimate estimate_; // what BackgroundBuffer holds
    int32_t estimateSide_ = 0;
    RecoveryMemory recovery_;
    std::vector<uint8_t> grab_;
    std::vector<PixelRun> runs_;
    std::vector<PixelRun> inputRuns_;

    // A drag by a hand: the surface follows the pointer's travel since the press, which
    // the relative pointer tells (a compositor may give the pointer's place relative to
    // where the surface was at the press, or where it is now); without it, the place
    // relative to the press's.
    bool dragging_ = false;
    Place grabbed_;  // the pointer's pixel in the clock at the press
    Place dragFrom_; // the clock's place then
    double travelX_ = 0;
    double travelY_ = 0;
    zwp_relative_pointer_manager_v1* relativePointers_ = nullptr;
    zwp_relative_pointer_v1* relativePointer_ = nullptr;
    bool remapped_ = false; // put on another output since its own went
    int32_t closedInARow_ = 0;
    std::chrono::steady_clock::time_point lastClosed_;
    Source closing_;
};

} // namespace lumivane::wayland
