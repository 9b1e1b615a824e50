#include "linux/problems.h"

#include <cstdio>
#include <exception>

#include "core/controller/clock_controller.h"
#include "core/controller/facts.h"

namespace lumivane {

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
        controller.Report("An unknown error occurred");
    }
}

namespace {

struct Timed {
    ClockController& controller;
    std::function<void()> action;
    bool repeat;
};

gboolean RunTimed(gpointer data) {
    auto* timed = static_cast<Timed*>(data);
    Guarded(timed->controller, timed->action);
    return timed->repeat ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

Source Schedule(uint32_t interval, ClockController& controller, std::function<void()> action,
                bool repeat) {
    auto* timed = new Timed{controller, std::move(action), repeat};
    return Source(g_timeout_add_full(G_PRIORITY_DEFAULT, interval, RunTimed, timed,
                                     [](gpointer data) { delete static_cast<Timed*>(data); }));
}

} // namespace

Source Every(uint32_t interval, ClockController& controller, std::function<void()> action) {
    return Schedule(interval, controller, std::move(action), true);
}

Source After(uint32_t delay, ClockController& controller, std::function<void()> action) {
    return Schedule(delay, controller, std::move(action), false);
}

Widget OpenMessageBox(const std::string& text, std::function<void()> answered) {
    std::fprintf(stderr, "lumivane: %s\n", text.c_str());
    GtkWidget* box = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                            GTK_BUTTONS_OK, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(box), kTitle);
    gtk_window_set_keep_above(GTK_WINDOW(box), TRUE);
    auto* then = new std::function<void()>(std::move(answered));
    g_signal_connect_data(
        box, "response", G_CALLBACK(+[](GtkDialog*, int, gpointer data) {
            // A copy: what it runs may destroy the box, and this handler's data with it.
            const std::function<void()> then = *static_cast<std::function<void()>*>(data);
            then();
        }),
        then, [](gpointer data, GClosure*) { delete static_cast<std::function<void()>*>(data); },
        GConnectFlags{});
    gtk_widget_show(box);
    return Widget(box);
}

} // namespace lumivane
