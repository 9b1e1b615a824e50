#pragma once
// What assistive technology (through ATK and AT-SPI) learns of the Linux program's
// windows, for the clock window of every display protocol and the settings window: a
// control named by its label, and the clock as an object of the role that stands for a
// clock (ATK's timer, which is what a clock on the web maps to), named kTitle, with the
// time it shows as its description. And whether high contrast is asked for.
#include <gtk/gtk.h>

#include <string>

#include "core/controller/clock_platform.h"

namespace lumivane::gtk {

// `control` is labelled by `label` (the relations both ways) and named `name`, the
// label's text without its markup.
void LabelControl(GtkWidget* label, GtkWidget* control, const char* name);

// The widget the clock is drawn in, as assistive technology sees it.
void SetClockRole(GtkWidget* clock);
// The time the clock shows, hours and minutes in the locale's format, as its description.
void ShowClockTime(GtkWidget* clock, TimeOfDay time);

// Whether GTK draws with one of its high-contrast themes (HighContrast,
// HighContrastInverse: what the desktops' high-contrast setting chooses), named by the
// GTK_THEME variable or by `settings`' theme.
bool HighContrastTheme(GtkSettings* settings);

// The time in the locale's format without seconds, in UTF-8.
std::string LocaleShortTime(TimeOfDay time);

} // namespace lumivane::gtk
