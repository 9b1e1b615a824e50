#pragma once
// How the Linux program runs its GLib callbacks: an error that leaves one goes to the
// clock's problems (GTK's callbacks are C, which no exception may cross); timers; and the
// message box a problem is shown in.
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

// A message box captioned "Lumivane" with `text`, kept above; `answered` runs once the
// user has answered it. The text goes to the standard error too.
Widget OpenMessageBox(const std::string& text, std::function<void()> answered);

} // namespace lumivane::gtk
