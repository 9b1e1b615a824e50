#include "linux/main_loop.h"

#include <cstdio>
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

} // namespace lumivane::gtk
