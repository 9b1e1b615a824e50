#include "linux/wayland/front_window.h"

#include <gdk/gdkwayland.h>

#include <algorithm>
#include <cstring>

#include "linux/application.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

namespace lumivane::wayland {

// The protocol's events, each a C callback.
struct Events {
    static void Global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                       uint32_t version) {
        auto* watch = static_cast<FrontWindowWatch*>(data);
        // Version 2 tells full screen.
        if (std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) == 0 &&
            version >= 2 && watch->manager_ == nullptr) {
            watch->manager_ = static_cast<zwlr_foreign_toplevel_manager_v1*>(
                wl_registry_bind(registry, name, &zwlr_foreign_toplevel_manager_v1_interface, 2));
        }
    }
    static void GlobalRemoved(void*, wl_registry*, uint32_t) {}

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

    static constexpr wl_registry_listener kRegistry{Global, GlobalRemoved};
    static constexpr zwlr_foreign_toplevel_manager_v1_listener kManager{NewToplevel, Finished};
    static constexpr zwlr_foreign_toplevel_handle_v1_listener kToplevel{
        Title, AppId, OutputEnter, OutputLeave, State, Done, Closed};
};

FrontWindowWatch::FrontWindowWatch(GdkDisplay* display, std::function<void()> changed)
    : changed_(std::move(changed)) {
    wl_display* wayland = gdk_wayland_display_get_wl_display(display);
    // The globals are read on a queue of their own; the manager then joins the
    // toolkit's queue, before any of its events are read.
    const Queue queue(wl_display_create_queue(wayland));
    const Wrapper wrapper(wl_proxy_create_wrapper(wayland));
    if (!queue || !wrapper) {
        return;
    }
    wl_proxy_set_queue(static_cast<wl_proxy*>(wrapper.get()), queue.get());
    const Proxy<wl_registry> registry(
        wl_display_get_registry(static_cast<wl_display*>(wrapper.get())));
    wl_registry_add_listener(registry.get(), &Events::kRegistry, this);
    wl_display_roundtrip_queue(wayland, queue.get());
    if (manager_ != nullptr) {
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(manager_), nullptr);
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
