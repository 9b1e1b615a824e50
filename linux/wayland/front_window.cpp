#include "linux/wayland/front_window.h"

#include <gdk/gdkwayland.h>

#include <algorithm>

#include "linux/application.h"
#include "linux/wayland/globals.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

namespace lumivane::wayland {

// The protocol's events, each a C callback.
struct Events {
    static void NewToplevel(void* data, zwlr_foreign_toplevel_manager_v1*,
                            zwlr_foreign_toplevel_handle_v1* handle) {
        auto* watch = static_cast<FrontWindowWatch*>(data);
        auto toplevel = std::make_unique<FrontWindowWatch::Toplevel>();
        toplevel->watch = watch;
        toplevel->handle = handle;
        zwlr_foreign_toplevel_handle_v1_add_listener(handle, &kToplevel, toplevel.get());
        watch->toplevels_.push_back(std::move(toplevel));
    }
    static void Finished(void* data, zwlr_foreign_toplevel_manager_v1* manager) {
        auto* watch = static_cast<FrontWindowWatch*>(data);
        zwlr_foreign_toplevel_manager_v1_destroy(manager);
        watch->manager_ = nullptr;
    }

    static FrontWindowWatch::Toplevel& Of(void* data) {
        return *static_cast<FrontWindowWatch::Toplevel*>(data);
    }
    static void Title(void*, zwlr_foreign_toplevel_handle_v1*, const char*) {}
    static void AppId(void* data, zwlr_foreign_toplevel_handle_v1*, const char* id) {
        Of(data).appId = id;
    }
    static void OutputEnter(void* data, zwlr_foreign_toplevel_handle_v1*, wl_output* output) {
        Of(data).outputs.push_back(output);
    }
    static void OutputLeave(void* data, zwlr_foreign_toplevel_handle_v1*, wl_output* output) {
        auto& outputs = Of(data).outputs;
        outputs.erase(std::remove(outputs.begin(), outputs.end(), output), outputs.end());
    }
    static void State(void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
        FrontWindowWatch::Toplevel& toplevel = Of(data);
        toplevel.activated = toplevel.fullScreen = toplevel.minimized = false;
        const auto* state = static_cast<const uint32_t*>(states->data);
        for (size_t i = 0; i < states->size / sizeof(uint32_t); ++i) {
            toplevel.activated |= state[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED;
            toplevel.fullScreen |= state[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_FULLSCREEN;
            toplevel.minimized |= state[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_MINIMIZED;
        }
    }
    static void Done(void* data, zwlr_foreign_toplevel_handle_v1*) { Of(data).watch->changed_(); }
    static void Closed(void* data, zwlr_foreign_toplevel_handle_v1* handle) {
        FrontWindowWatch* watch = Of(data).watch;
        zwlr_foreign_toplevel_handle_v1_destroy(handle);
        auto& all = watch->toplevels_;
        all.erase(std::remove_if(all.begin(), all.end(),
                                 [handle](const auto& t) { return t->handle == handle; }),
                  all.end());
        watch->changed_();
    }

    static constexpr zwlr_foreign_toplevel_manager_v1_listener kManager{NewToplevel, Finished};
    static constexpr zwlr_foreign_toplevel_handle_v1_listener kToplevel{
        Title, AppId, OutputEnter, OutputLeave, State, Done, Closed};
};

FrontWindowWatch::FrontWindowWatch(GdkDisplay* display, std::function<void()> changed)
    : changed_(std::move(changed)),
      // Version 2 tells full screen.
      manager_(Bind<zwlr_foreign_toplevel_manager_v1>(
          display, zwlr_foreign_toplevel_manager_v1_interface, 2, 2)) {
    if (manager_ != nullptr) {
        zwlr_foreign_toplevel_manager_v1_add_listener(manager_, &Events::kManager, this);
    }
}

FrontWindowWatch::~FrontWindowWatch() {
    for (const auto& toplevel : toplevels_) {
        zwlr_foreign_toplevel_handle_v1_destroy(toplevel->handle);
    }
    if (manager_ != nullptr) {
        zwlr_foreign_toplevel_manager_v1_stop(manager_);
        wl_proxy_destroy(reinterpret_cast<wl_proxy*>(manager_));
    }
}

std::optional<Rect> FrontWindowWatch::Read(const std::vector<Output>& outputs) const {
    for (const auto& toplevel : toplevels_) {
        const bool ours = toplevel->appId == gtk::kApplicationId || toplevel->appId == "lumivane";
        if (!toplevel->activated || !toplevel->fullScreen || toplevel->minimized || ours) {
            continue;
        }
        for (wl_output* output : toplevel->outputs) {
            if (const Output* covered = OutputOf(outputs, output)) {
                return covered->rect;
            }
        }
    }
    return std::nullopt;
}

} // namespace lumivane::wayland
