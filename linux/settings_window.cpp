#include "linux/settings_window.h"

#include <algorithm>

#include "clock_window/clock_state.h"
#include "linux/problems.h"
#include "linux/x_monitors.h"
#include "platform/error.h"
#include "settings/settings_rules.h"

namespace lumivane {

namespace {

// Where each bar sits in the window's two columns, and its name there.
struct BarPlace {
    const char* label;
    int column;
    int row;
};
constexpr std::array<BarPlace, kBars.size()> kBarPlaces{{
    {"Brightness", 0, 1},
    {"Clock size", 0, 3},
    {"Arrows", 1, 1},
    {"Contrast", 1, 3},
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
        const BarRule& rule = kBars[i];
        const BarPlace& bar = kBarPlaces[i];
        GtkWidget* label = gtk_label_new(nullptr);
        const std::string markup = std::string("<b>") + bar.label + "</b>";
        gtk_label_set_markup(GTK_LABEL(label), markup.c_str());
        gtk_widget_set_halign(label, GTK_ALIGN_START);
        gtk_widget_set_margin_top(label, 12);
        gtk_grid_attach(GTK_GRID(grid), label, bar.column, bar.row, 1, 1);

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

    OpenBars(state_, hooks_.displayHeight(), [this](const BarRule& rule, int32_t position) {
        gtk_range_set_value(GTK_RANGE(bars_[static_cast<size_t>(rule.bar)]), position);
    });
    for (GtkWidget* bar : bars_) {
        g_signal_connect(bar, "value-changed", G_CALLBACK(BarMoved), this);
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
    const auto position = static_cast<int32_t>(gtk_range_get_value(range));
    const auto bar = static_cast<Bar>(found - self->bars_.begin());
    Guarded(self->problems_,
            [&] { SetBar(self->state_, bar, position, self->hooks_.displayHeight()); });
}

void SettingsWindow::Show() {
    if (!gtk_widget_get_visible(window_)) {
        gtk_widget_realize(window_);
        const Area primary = Monitors(gtk_widget_get_display(window_)).front();
        int width = 0;
        int height = 0;
        gtk_window_get_size(Window(), &width, &height);
        gtk_window_move(Window(), primary.left + (primary.right - primary.left) / 2 - width / 2,
                        primary.bottom - height - kTaskbarInset);
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
