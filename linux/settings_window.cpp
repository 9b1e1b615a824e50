#include "linux/settings_window.h"

#include <algorithm>

#include "clock_window/clock_state.h"
#include "image/error.h"
#include "linux/problems.h"

namespace lumivane {

namespace {

struct Bar {
    const char* label;
    int32_t minimum;
    int32_t maximum;
    int32_t ClockState::*setting;
    int column;
    int row;
};
constexpr std::array<Bar, 4> kBars{{
    {"Brightness", 0, 30, &ClockState::Bright, 0, 1},
    {"Clock size", 5, 50, &ClockState::Size, 0, 3},
    {"Arrows", 0, 5, &ClockState::Algoritm, 1, 1},
    {"Contrast", 0, 15, &ClockState::Contrast, 1, 3},
}};

constexpr int kTaskbarInset = 100; // the window sits this far above the display's bottom

gboolean Closed(GtkWidget*, GdkEvent*, gpointer self) {
    static_cast<SettingsWindow*>(self)->Hide();
    return TRUE;
}

} // namespace

SettingsWindow::SettingsWindow(ClockState& state, Problems& problems, Hooks hooks,
                               const std::string& note)
    : state_(state), problems_(problems), hooks_(std::move(hooks)) {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(Window(), "Lumivane Settings");
    gtk_window_set_resizable(Window(), FALSE);
    gtk_window_set_keep_above(Window(), TRUE);
    gtk_container_set_border_width(GTK_CONTAINER(window_), 12);
    g_signal_connect(window_, "delete-event", G_CALLBACK(Closed), this);

    GtkWidget* grid = gtk_grid_new();
    gtk_grid_set_row_spacing(GTK_GRID(grid), 6);
    gtk_grid_set_column_spacing(GTK_GRID(grid), 36);
    gtk_container_add(GTK_CONTAINER(window_), grid);

    status_ = gtk_label_new(nullptr);
    gtk_widget_set_halign(status_, GTK_ALIGN_START);
    gtk_grid_attach(GTK_GRID(grid), status_, 0, 0, 2, 1);
    SetStatus(false);

    for (size_t i = 0; i < kBars.size(); ++i) {
        const Bar& bar = kBars[i];
        GtkWidget* label = gtk_label_new(nullptr);
        const std::string markup = std::string("<b>") + bar.label + "</b>";
        gtk_label_set_markup(GTK_LABEL(label), markup.c_str());
        gtk_widget_set_halign(label, GTK_ALIGN_START);
        gtk_widget_set_margin_top(label, 12);
        gtk_grid_attach(GTK_GRID(grid), label, bar.column, bar.row, 1, 1);

        GtkWidget* scale =
            gtk_scale_new_with_range(GTK_ORIENTATION_HORIZONTAL, bar.minimum, bar.maximum, 1);
        gtk_scale_set_digits(GTK_SCALE(scale), 0);
        gtk_scale_set_value_pos(GTK_SCALE(scale), GTK_POS_RIGHT);
        gtk_range_set_increments(GTK_RANGE(scale), 1, 2);
        gtk_widget_set_size_request(scale, 170, -1);
        for (int32_t mark = bar.minimum; mark <= bar.maximum; ++mark) {
            gtk_scale_add_mark(GTK_SCALE(scale), mark, GTK_POS_BOTTOM, nullptr);
        }
        gtk_widget_set_name(scale, bar.label);
        gtk_grid_attach(GTK_GRID(grid), scale, bar.column, bar.row + 1, 1, 1);
        bars_[i] = scale;
    }
    int row = 5;
    if (!note.empty()) {
        GtkWidget* text = gtk_label_new(note.c_str());
        gtk_label_set_line_wrap(GTK_LABEL(text), TRUE);
        gtk_label_set_max_width_chars(GTK_LABEL(text), 48);
        gtk_widget_set_halign(text, GTK_ALIGN_START);
        gtk_grid_attach(GTK_GRID(grid), text, 0, row++, 2, 1);
    }

    GtkWidget* save = gtk_button_new_with_label("");
    GtkWidget* saveText = gtk_bin_get_child(GTK_BIN(save));
    gtk_label_set_markup(GTK_LABEL(saveText),
                         "<span foreground=\"#008000\"><b>Save Settings</b></span>");
    gtk_widget_set_halign(save, GTK_ALIGN_START);
    gtk_widget_set_margin_top(save, 12);
    g_signal_connect_swapped(save, "clicked", G_CALLBACK(+[](SettingsWindow* self) {
                                 Guarded(self->problems_, [self] { self->Save(); });
                             }),
                             this);
    gtk_grid_attach(GTK_GRID(grid), save, 0, row, 1, 1);

    GtkWidget* close = gtk_button_new_with_label("Close");
    gtk_widget_set_halign(close, GTK_ALIGN_END);
    gtk_widget_set_margin_top(close, 12);
    g_signal_connect_swapped(close, "clicked",
                             G_CALLBACK(+[](SettingsWindow* self) { self->Hide(); }), this);
    gtk_grid_attach(GTK_GRID(grid), close, 1, row, 1, 1);

    // Each bar takes its setting, clamped to its range. A bar starts at its minimum
    // and reports only a change, so a setting at the minimum, or below it, stays as
    // loaded, as on Windows, where the bars start at the same positions.
    for (size_t i = 0; i < kBars.size(); ++i) {
        g_signal_connect(bars_[i], "value-changed", G_CALLBACK(BarMoved), this);
        gtk_range_set_value(GTK_RANGE(bars_[i]), state_.*kBars[i].setting);
    }
    gtk_widget_show_all(grid);
}

SettingsWindow::~SettingsWindow() {
    hint_.Reset();
    gtk_widget_destroy(window_);
}

void SettingsWindow::BarMoved(GtkRange* range, gpointer data) {
    auto* self = static_cast<SettingsWindow*>(data);
    const auto found = std::find(self->bars_.begin(), self->bars_.end(), GTK_WIDGET(range));
    if (found == self->bars_.end()) {
        return;
    }
    const auto value = static_cast<int32_t>(gtk_range_get_value(range));
    ClockState& state = self->state_;
    Guarded(self->problems_, [&] {
        switch (found - self->bars_.begin()) {
        case 0:
            state.Bright = value;
            state.BrightFactor = state.Bright / 30.0L;
            RecomputeShading(state);
            break;
        case 1:
            state.Size = value;
            RecomputeGeometry(state, self->hooks_.displayHeight());
            break;
        case 2:
            state.Algoritm = value;
            break;
        default:
            state.Contrast = value;
            state.ContrastFactor = state.Contrast / 30.0L;
            RecomputeShading(state);
            break;
        }
    });
}

void SettingsWindow::Show() {
    if (!gtk_widget_get_visible(window_)) {
        gtk_widget_realize(window_);
        GdkDisplay* display = gtk_widget_get_display(window_);
        GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
        if (monitor == nullptr) {
            monitor = gdk_display_get_monitor(display, 0);
        }
        if (monitor != nullptr) {
            GdkRectangle area{};
            gdk_monitor_get_geometry(monitor, &area);
            int width = 0;
            int height = 0;
            gtk_window_get_size(Window(), &width, &height);
            gtk_window_move(Window(), area.x + area.width / 2 - width / 2,
                            area.y + area.height - height - kTaskbarInset);
        }
    }
    gtk_window_present(Window());
}

void SettingsWindow::Hide() {
    gtk_widget_hide(window_);
}

void SettingsWindow::Save() {
    hooks_.save();
    SetStatus(true);
    // A second save while the confirmation shows does not prolong it.
    if (!confirming_) {
        confirming_ = true;
        hint_ = After(kConfirmationTime, problems_, [this] {
            confirming_ = false;
            SetStatus(false);
        });
    }
}

void SettingsWindow::SetStatus(bool confirmation) {
    const std::string markup = confirmation ? std::string("<span foreground=\"#009600\"><b>") +
                                                  kConfirmation + "</b></span>"
                                            : std::string("<b>") + kHint + "</b>";
    gtk_label_set_markup(GTK_LABEL(status_), markup.c_str());
}

} // namespace lumivane
