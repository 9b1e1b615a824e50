#pragma once
// The one place the Linux program tells the user of a failure: a message box captioned
// "Lumivane", one at a time, each text once per run (a failure that recurs every few
// seconds is not shown again), and a line on the standard error.
#include <deque>
#include <functional>
#include <set>
#include <string>

#include <gtk/gtk.h>

#include "linux/x_handles.h"

namespace lumivane {

class Problems {
  public:
    Problems() = default;
    ~Problems();
    Problems(const Problems&) = delete;
    Problems& operator=(const Problems&) = delete;

    void Report(const std::string& text);
    // Whether a message is showing or waiting (the tests and the start-up use it).
    bool Pending() const { return box_ != nullptr || !waiting_.empty(); }

  private:
    void ShowNext();
    static void Answered(GtkDialog* dialog, int response, gpointer self);

    std::set<std::string> reported_;
    std::deque<std::string> waiting_;
    GtkWidget* box_ = nullptr;
};

// Runs `action`, reporting an error that leaves it: GTK's callbacks are C, which no
// exception may cross.
void Guarded(Problems& problems, const std::function<void()>& action);

// Runs `action` every `interval` ms until the source is let go.
x11::Source Every(uint32_t interval, Problems& problems, std::function<void()> action);
// Runs `action` once, after `delay` ms.
x11::Source After(uint32_t delay, Problems& problems, std::function<void()> action);

} // namespace lumivane
