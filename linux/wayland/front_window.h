#pragma once
// The window in front, as wlr-foreign-toplevel-management tells it (the wlroots
// compositors, Hyprland): the activated toplevel, and whether it is full screen on which
// output. Its events come with the toolkit's, on the main loop; the owner hears of each
// change once the compositor has told all of it.
#include <gdk/gdk.h>
#include <wayland-client.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/geometry.h"
#include "linux/wayland/handles.h"
#include "linux/wayland/monitors.h"

struct zwlr_foreign_toplevel_manager_v1;
struct zwlr_foreign_toplevel_handle_v1;

namespace lumivane::wayland {

class FrontWindowWatch {
  public:
    FrontWindowWatch(GdkDisplay* display, std::function<void()> changed);
    ~FrontWindowWatch();
    FrontWindowWatch(const FrontWindowWatch&) = delete;
    FrontWindowWatch& operator=(const FrontWindowWatch&) = delete;

    // Whether the compositor tells which toplevel is in front.
    bool Watching() const { return manager_ != nullptr; }
    // The program window in front as far as full-screen hiding needs it: when it is full
    // screen, the output it covers; nothing otherwise, or when it is minimized or this
    // program's own.
    std::optional<Rect> Read(const std::vector<Output>& outputs) const;

    struct Toplevel {
        FrontWindowWatch* watch = nullptr;
        zwlr_foreign_toplevel_handle_v1* handle = nullptr;
        std::string appId;
        std::vector<wl_output*> outputs;
        bool activated = false;
        bool fullScreen = false;
        bool minimized = false;
    };

  private:
    friend struct Events;

    std::function<void()> changed_;
    zwlr_foreign_toplevel_manager_v1* manager_ = nullptr;
    std::vector<std::unique_ptr<Toplevel>> toplevels_;
};

} // namespace lumivane::wayland
