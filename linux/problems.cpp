#include "linux/problems.h"

#include <cstdio>
#include <exception>

namespace lumivane {

Problems::~Problems() {
    if (box_ != nullptr) {
        gtk_widget_destroy(box_);
    }
}

void Problems::Report(const std::string& text) {
    if (!reported_.insert(text).second) {
        return;
    }
    std::fprintf(stderr, "lumivane: %s\n", text.c_str());
    waiting_.push_back(text);
    if (box_ == nullptr) {
        ShowNext();
    }
}

void Problems::ShowNext() {
    if (waiting_.empty()) {
        return;
    }
    box_ = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK,
                                  "%s", waiting_.front().c_str());
    waiting_.pop_front();
    gtk_window_set_title(GTK_WINDOW(box_), "Lumivane");
    gtk_window_set_keep_above(GTK_WINDOW(box_), TRUE);
    g_signal_connect(box_, "response", G_CALLBACK(Answered), this);
    gtk_widget_show(box_);
}

void Problems::Answered(GtkDialog* dialog, int, gpointer self) {
    auto* problems = static_cast<Problems*>(self);
    gtk_widget_destroy(GTK_WIDGET(dialog));
    problems->box_ = nullptr;
    problems->ShowNext();
}

void Guarded(Problems& problems, const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& error) {
        problems.Report(error.what());
    } catch (...) {
        problems.Report("An unknown error occurred");
    }
}

namespace {

struct Timed {
    Problems& problems;
    std::function<void()> action;
    bool repeat;
};

gboolean RunTimed(gpointer data) {
    auto* timed = static_cast<Timed*>(data);
    Guarded(timed->problems, timed->action);
    return timed->repeat ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

x11::Source Schedule(uint32_t interval, Problems& problems, std::function<void()> action,
                     bool repeat) {
    auto* timed = new Timed{problems, std::move(action), repeat};
    return x11::Source(g_timeout_add_full(G_PRIORITY_DEFAULT, interval, RunTimed, timed,
                                          [](gpointer data) { delete static_cast<Timed*>(data); }));
}

} // namespace

x11::Source Every(uint32_t interval, Problems& problems, std::function<void()> action) {
    return Schedule(interval, problems, std::move(action), true);
}

x11::Source After(uint32_t delay, Problems& problems, std::function<void()> action) {
    return Schedule(delay, problems, std::move(action), false);
}

} // namespace lumivane
