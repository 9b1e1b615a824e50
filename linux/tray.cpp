#include "linux/tray.h"

#include <gdk/gdkwayland.h>
#include <libayatana-appindicator/app-indicator.h>

#include "core/controller/clock_controller.h"
#include "linux/main_loop.h"

namespace lumivane::gtk {

namespace {

// Where a check item keeps the hooks it stands for.
constexpr const char* kCheckKey = "lumivane-check";

GtkWidget* AddItem(GtkWidget* menu, GtkWidget* item) {
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    return item;
}

// An item that makes no XEmbed icon where no item host runs: on Wayland there is no
// XEmbed tray, and the library's icon there only fills the standard error with the
// toolkit's complaints. The settings window stays reachable by starting the program again.
GType ItemWithoutXEmbed() {
    static const GType type = g_type_register_static_simple(
        APP_INDICATOR_TYPE, "LumivaneItemWithoutXEmbed", sizeof(AppIndicatorClass),
        [](gpointer klass, gpointer) {
            auto* indicator = static_cast<AppIndicatorClass*>(klass);
            indicator->fallback = [](AppIndicator*) -> GtkStatusIcon* { return nullptr; };
            indicator->unfallback = [](AppIndicator*, GtkStatusIcon*) {};
        },
        sizeof(AppIndicator), nullptr, static_cast<GTypeFlags>(0));
    return type;
}

AppIndicator* NewItem(const std::string& icon) {
    if (!GDK_IS_WAYLAND_DISPLAY(gdk_display_get_default())) {
        return app_indicator_new("lumivane", icon.c_str(),
                                 APP_INDICATOR_CATEGORY_APPLICATION_STATUS);
    }
    return static_cast<AppIndicator*>(g_object_new(ItemWithoutXEmbed(), "id", "lumivane",
                                                   "icon-name", icon.c_str(), "category",
                                                   "ApplicationStatus", nullptr));
}

} // namespace

void Withdraw(_AppIndicator* indicator) {
    app_indicator_set_status(indicator, APP_INDICATOR_STATUS_PASSIVE);
    g_object_unref(indicator);
}

void DestroyMenu(GtkWidget* menu) {
    gtk_widget_destroy(menu);
    g_object_unref(menu);
}

Tray::Tray(ClockController& controller, Hooks hooks, const std::string& icon)
    : controller_(controller), hooks_(std::move(hooks)),
      hideFullScreen_{[&controller] { return controller.HidesOverFullScreen(); },
                      [&controller](bool hide) { controller.SetHideFullScreen(hide); }} {
    menu_.reset(GTK_WIDGET(g_object_ref_sink(gtk_menu_new())));
    GtkWidget* settings = AddItem(menu_.get(), gtk_menu_item_new_with_label(kSettingsItemText));
    g_signal_connect_swapped(
        settings, "activate",
        G_CALLBACK(+[](Tray* self) { Guarded(self->controller_, self->hooks_.settings); }), this);
    AddCheck("Start at login", hooks_.startAtLogin);
    AddCheck(kHideFullScreenItemText, hideFullScreen_);
    AddItem(menu_.get(), gtk_separator_menu_item_new());
    GtkWidget* close = AddItem(menu_.get(), gtk_menu_item_new_with_label(kCloseText));
    g_signal_connect_swapped(
        close, "activate",
        G_CALLBACK(+[](Tray* self) { Guarded(self->controller_, self->hooks_.close); }), this);
    gtk_widget_show_all(menu_.get());

    // Not an icon theme folder of our own: the library then reads past the end of the
    // theme's search path whenever the icon theme changes.
    indicator_.reset(NewItem(icon));
    app_indicator_set_title(indicator_.get(), kTitle);
    app_indicator_set_menu(indicator_.get(), GTK_MENU(menu_.get()));
    // A middle click (and a left click where the host passes it on) opens the settings.
    app_indicator_set_secondary_activate_target(indicator_.get(), settings);
    app_indicator_set_status(indicator_.get(), APP_INDICATOR_STATUS_ACTIVE);
}

void Tray::AddCheck(const char* label, Check& check) {
    GtkWidget* item = AddItem(menu_.get(), gtk_check_menu_item_new_with_label(label));
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), check.isOn());
    g_object_set_data(G_OBJECT(item), kCheckKey, &check);
    g_signal_connect(item, "toggled", G_CALLBACK(Toggled), this);
}

void Tray::Toggled(GtkCheckMenuItem* item, gpointer data) {
    auto* self = static_cast<Tray*>(data);
    const auto& check = *static_cast<const Check*>(g_object_get_data(G_OBJECT(item), kCheckKey));
    const bool wanted = gtk_check_menu_item_get_active(item);
    Guarded(self->controller_, [&] { check.turn(wanted); });
    // The check shows what is, also when the change failed.
    const bool now = check.isOn();
    if (now != wanted) {
        g_signal_handlers_block_by_func(item, reinterpret_cast<gpointer>(Toggled), self);
        gtk_check_menu_item_set_active(item, now);
        g_signal_handlers_unblock_by_func(item, reinterpret_cast<gpointer>(Toggled), self);
    }
}

} // namespace lumivane::gtk
