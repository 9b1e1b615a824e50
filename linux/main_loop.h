#pragma once
// How the Linux program runs on the GLib main loop: an error that leaves a callback goes to
// the clock's problems (GTK's callbacks are C, which no exception may cross); timers; and
// the owners of what the loop hands out.
#include <glib.h>
#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <string>

#include "core/owned.h"

namespace lumivane {
class ClockController;
} // namespace lumivane

namespace lumivane::gtk {

// A GLib main-loop source (a timeout), removed when the owner lets it go.
void RemoveSource(guint id);
using Source = Owned<guint, &RemoveSource>;
using Widget = Owned<GtkWidget*, &gtk_widget_destroy>;

// Runs `action`, reporting an error that leaves it.
void Guarded(ClockController& controller, const std::function<void()>& action);

// Runs `action` every `interval` ms until the source is let go, or once after it.
Source Every(uint32_t interval, ClockController& controller, std::function<void()> action,
             bool once = false);
inline Source After(uint32_t delay, ClockController& controller, std::function<void()> action) {
    return Every(delay, controller, std::move(action), true);
}

} // namespace lumivane::gtk
