#include "linux/settings_window.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "linux/accessibility.h"

namespace lumivane::gtk {

namespace {

gboolean Closed(GtkWidget*, GdkEvent*, gpointer self) {
    static_cast<SettingsWindow*>(self)->Hide();
    return TRUE;
}

// Bold, and in `colour` (0x00BBGGRR) unless that is none or the hint's black: the theme's
// colour of text stands for it.
std::string Markup(const char* text, std::optional<uint32_t> shown) {
    if (shown.value_or(kHintLine.colour) == kHintLine.colour) {
        return std::string("<b>") + text + "</b>";
    }
    const uint32_t colour = *shown;
    char hex[8];
    std::snprintf(hex, sizeof hex, "#%02x%02x%02x", colour & 0xFF, (colour >> 8) & 0xFF,
                  (colour >> 16) & 0xFF);
    return std::string("<span foreground=\"") + hex + "\"><b>" + text + "</b></span>";
}

} // namespace

SettingsWindow::SettingsWindow(ClockController& controller, const std::string& note)
    : controller_(controller) {
    window_.reset(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    gtk_window_set_title(Window(), kSettingsTitle);
    gtk_window_set_resizable(Window(), FALSE);
    gtk_window_set_keep_above(Window(), TRUE);
    gtk_container_set_border_width(GTK_CONTAINER(window_.get()), 12);
    g_signal_connect(window_.get(), "delete-event", G_CALLBACK(Closed), this);

    GtkWidget* grid = gtk_grid_new();
    gtk_grid_set_row_spacing(GTK_GRID(grid), 6);
    gtk_grid_set_column_spacing(GTK_GRID(grid), 36);
    gtk_container_add(GTK_CONTAINER(window_.get()), grid);

    status_ = gtk_label_new(nullptr);
    gtk_widget_set_halign(status_, GTK_ALIGN_START);
    gtk_grid_attach(GTK_GRID(grid), status_, 0, 0, 2, 1);

    for (const BarRule& rule : kBars) {
        // Each bar under its label, two rows of the grid a bar.
        const int row = 1 + 2 * rule.row;
        GtkWidget* label = gtk_label_new(nullptr);
        gtk_label_set_markup(GTK_LABEL(label), Markup(rule.label, kHintLine.colour).c_str());
        gtk_widget_set_halign(label, GTK_ALIGN_START);
        gtk_widget_set_margin_top(label, 12);
        gtk_grid_attach(GTK_GRID(grid), label, rule.column, row, 1, 1);

        GtkWidget* scale =
            gtk_scale_new_with_range(GTK_ORIENTATION_HORIZONTAL, rule.minimum, rule.maximum, 1);
        gtk_scale_set_digits(GTK_SCALE(scale), 0);
        gtk_scale_set_value_pos(GTK_SCALE(scale), GTK_POS_RIGHT);
        gtk_range_set_increments(GTK_RANGE(scale), 1, 2);
        gtk_widget_set_size_request(scale, 170, -1);
        gtk_range_set_value(GTK_RANGE(scale), rule.designPosition);
        for (int32_t mark = rule.minimum; mark <= rule.maximum; ++mark) {
            gtk_scale_add_mark(GTK_SCALE(scale), mark, GTK_POS_BOTTOM, nullptr);
        }
        gtk_widget_set_name(scale, rule.label);
        LabelControl(label, scale, rule.label);
        gtk_grid_attach(GTK_GRID(grid), scale, rule.column, row + 1, 1, 1);
        bars_[static_cast<size_t>(rule.bar)] = scale;
    }
    int row = 5;
    if (!note.empty()) {
        GtkWidget* text = gtk_label_new(note.c_str());
        gtk_label_set_line_wrap(GTK_LABEL(text), TRUE);
        gtk_label_set_max_width_chars(GTK_LABEL(text), 48);
        gtk_widget_set_halign(text, GTK_ALIGN_START);
        gtk_grid_attach(GTK_GRID(grid), text, 0, row++, 2, 1);
    }

    GtkWidget* save = gtk_button_new_with_label(kSaveButtonText);
    save_ = save;
    gtk_widget_set_halign(save, GTK_ALIGN_START);
    gtk_widget_set_margin_top(save, 12);
    g_signal_connect_swapped(save, "clicked", G_CALLBACK(+[](SettingsWindow* self) {
                                 Guarded(self->controller_,
                                         [self] { self->controller_.SaveSettings(); });
                             }),
                             this);
    gtk_grid_attach(GTK_GRID(grid), save, 0, row, 1, 1);

    GtkWidget* close = gtk_button_new_with_label(kCloseText);
    gtk_widget_set_halign(close, GTK_ALIGN_END);
    gtk_widget_set_margin_top(close, 12);
    g_signal_connect_swapped(close, "clicked",
                             G_CALLBACK(+[](SettingsWindow* self) { self->Hide(); }), this);
    gtk_grid_attach(GTK_GRID(grid), close, 1, row, 1, 1);
    gtk_widget_show_all(grid);
    // High contrast is followed as the desktop switches the theme.
    g_signal_connect_swapped(gtk_settings_get_default(), "notify::gtk-theme-name",
                             G_CALLBACK(+[](SettingsWindow* self) { self->Recolour(); }), this);
    Recolour();

    controller_.OpenSettings(*this);
    for (GtkWidget* bar : bars_) {
        g_signal_connect(bar, "value-changed", G_CALLBACK(BarMoved), this);
    }
}

SettingsWindow::~SettingsWindow() {
    g_signal_handlers_disconnect_by_data(gtk_settings_get_default(), this);
    controller_.CloseSettings();
}

void SettingsWindow::Recolour() {
    highContrast_ = HighContrastTheme(gtk_settings_get_default());
    gtk_label_set_markup(
        GTK_LABEL(gtk_bin_get_child(GTK_BIN(save_))),
        Markup(kSaveButtonText, OwnColour(kSaveTextColour, highContrast_)).c_str());
    ShowStatus(shownStatus_);
}

void SettingsWindow::BarMoved(GtkRange* range, gpointer data) {
    auto* self = static_cast<SettingsWindow*>(data);
    const auto found = std::find(self->bars_.begin(), self->bars_.end(), GTK_WIDGET(range));
    if (found == self->bars_.end()) {
        return;
    }
    const auto position = static_cast<int32_t>(gtk_range_get_value(range));
    const auto bar = static_cast<Bar>(found - self->bars_.begin());
    Guarded(self->controller_, [&] { self->controller_.BarMoved(bar, position); });
}

void SettingsWindow::ShowBar(Bar bar, int32_t position) {
    gtk_range_set_value(GTK_RANGE(bars_[static_cast<size_t>(bar)]), position);
}

void SettingsWindow::ShowStatus(const StatusLine& status) {
    shownStatus_ = status;
    gtk_label_set_markup(GTK_LABEL(status_),
                         Markup(status.text, OwnColour(status.colour, highContrast_)).c_str());
}

bool SettingsWindow::StartStatusTimer(uint32_t interval) {
    hint_ = After(interval, controller_, [this] { controller_.StatusTimeUp(); });
    return true;
}

void SettingsWindow::Show() {
    if (!gtk_widget_get_visible(window_.get())) {
        gtk_widget_realize(window_.get());
        int width = 0;
        int height = 0;
        gtk_window_get_size(Window(), &width, &height);
        const Place place = controller_.SettingsPlace(width, height, kTaskbarInset);
        gtk_window_move(Window(), place.left, place.top);
    }
    gtk_window_present(Window());
}

void SettingsWindow::Hide() {
    gtk_widget_hide(window_.get());
}

} // namespace lumivane::gtk
