#include "linux/main_loop.h"

#include <exception>

#include "core/controller/clock_controller.h"
#include "core/controller/facts.h"

namespace lumivane::gtk {

void RemoveSource(guint id) {
    // A one-shot source may have ended by itself.
    if (GSource* source = g_main_context_find_source_by_id(nullptr, id)) {
        g_source_destroy(source);
    }
}

void Guarded(ClockController& controller, const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& error) {
        controller.Report(error.what());
    } catch (...) {
        controller.Report(kUnexpectedError);
    }
}

Source Every(uint32_t interval, ClockController& controller, std::function<void()> action,
             bool once) {
    struct Timed {
        ClockController& controller;
        std::function<void()> action;
        bool once;
    };
    return Source(g_timeout_add_full(
        G_PRIORITY_DEFAULT, interval,
        [](gpointer data) -> gboolean {
            auto* timed = static_cast<Timed*>(data);
            Guarded(timed->controller, timed->action);
            return timed->once ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
        },
        new Timed{controller, std::move(action), once},
        [](gpointer data) { delete static_cast<Timed*>(data); }));
}

} // namespace lumivane::gtk
