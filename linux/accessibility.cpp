#include "linux/accessibility.h"

#include <langinfo.h>

#include "core/controller/facts.h"
#include "core/owned.h"
#include "linux/time_text.h"

namespace lumivane::gtk {

namespace {

using DateTime = Owned<GDateTime*, &g_date_time_unref>;
using Text = Owned<gchar*, &g_free>;

} // namespace

void LabelControl(GtkWidget* label, GtkWidget* control, const char* name) {
    gtk_label_set_mnemonic_widget(GTK_LABEL(label), control);
    atk_object_set_name(gtk_widget_get_accessible(control), name);
}

void SetClockRole(GtkWidget* clock) {
    AtkObject* accessible = gtk_widget_get_accessible(clock);
    atk_object_set_role(accessible, ATK_ROLE_TIMER);
    atk_object_set_name(accessible, kTitle);
}

void ShowClockTime(GtkWidget* clock, TimeOfDay time) {
    atk_object_set_description(gtk_widget_get_accessible(clock), LocaleShortTime(time).c_str());
}

bool HighContrastTheme(GtkSettings* settings) {
    const Text named = [settings] {
        gchar* theme = nullptr;
        if (settings != nullptr) {
            g_object_get(settings, "gtk-theme-name", &theme, nullptr);
        }
        return Text(theme);
    }();
    const char* forced = g_getenv("GTK_THEME"); // "name" or "name:variant"
    const char* theme = forced != nullptr && *forced != '\0' ? forced : named.get();
    return theme != nullptr && g_str_has_prefix(theme, "HighContrast");
}

std::string LocaleShortTime(TimeOfDay time) {
    const std::string format =
        TimeFormatWithoutSeconds(nl_langinfo(T_FMT), nl_langinfo(T_FMT_AMPM));
    // Any valid day: the format reads the time only. GLib writes UTF-8 whatever the locale.
    const DateTime moment(g_date_time_new_local(2000, 1, 1, time.hour, time.minute, 0));
    const Text text(moment ? g_date_time_format(moment.get(), format.c_str()) : nullptr);
    if (!text || *text.get() == '\0') {
        return ShortTimeText(time);
    }
    return text.get();
}

} // namespace lumivane::gtk
