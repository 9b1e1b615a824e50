#include "linux/application.h"

#include <gdk/gdkwayland.h>
#include <glib-unix.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstdio>
#include <exception>

#include "linux/autostart.h"
#include "linux/settings_window.h"
#include "linux/tray.h"
#include "linux/wayland/clock_window.h"
#include "linux/x11/clock_window.h"

namespace lumivane::gtk {

namespace {

// The program's icon: by name from the installed icon theme, or, for a build that is not
// installed, the picture in the build's own theme folder.
std::string IconName() {
    const std::string executable = ExecutablePath();
    const std::string file =
        executable.substr(0, executable.rfind('/') + 1) + "icons/hicolor/48x48/apps/lumivane.png";
    return access(file.c_str(), R_OK) == 0 ? file : std::string("lumivane");
}

} // namespace

std::string ExecutablePath() {
    char path[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return ProgramNamedBy(length > 0 ? std::string(path, static_cast<size_t>(length)) : "");
}

std::unique_ptr<DesktopClock> OpenClock(ClockState& state, std::function<void()> closed) {
    if (GDK_IS_WAYLAND_DISPLAY(gdk_display_get_default())) {
        return std::make_unique<wayland::ClockWindow>(state, std::move(closed));
    }
    return std::make_unique<x11::ClockWindow>(state, std::move(closed));
}

Application::Application(ClockState& state)
    : state_(state),
      application_(gtk_application_new(kApplicationId, G_APPLICATION_DEFAULT_FLAGS)) {
    g_signal_connect(application_.get(), "activate", G_CALLBACK(Activated), this);
}

Application::~Application() = default;

int Application::Run(int argc, char** argv) {
    const auto quit = +[](gpointer self) -> gboolean {
        static_cast<Application*>(self)->Quit();
        return G_SOURCE_REMOVE;
    };
    g_unix_signal_add(SIGTERM, quit, this);
    g_unix_signal_add(SIGINT, quit, this);
    g_unix_signal_add(SIGHUP, quit, this);
    return g_application_run(G_APPLICATION(application_.get()), argc, argv);
}

void Application::Activated(GApplication*, gpointer data) {
    auto* self = static_cast<Application*>(data);
    if (self->started_) {
        if (self->settings_) {
            self->settings_->Show();
        }
        return;
    }
    self->started_ = true;
    try {
        self->Start();
    } catch (const std::exception& error) {
        // No clock to report to: the program cannot run.
        std::fprintf(stderr, "lumivane: %s\n", error.what());
        g_application_quit(G_APPLICATION(self->application_.get()));
    }
}

void Application::Start() {
    clock_ = OpenClock(state_, [this] { Quit(); });
    gtk_application_add_window(application_.get(), clock_->Window());
    ClockController& controller = clock_->Controller();
    const std::string note = clock_->Note();
    if (!note.empty()) {
        std::fprintf(stderr, "lumivane: %s\n", note.c_str());
    }
    settings_ = std::make_unique<SettingsWindow>(controller, note);
    tray_ =
        std::make_unique<Tray>(controller,
                               Tray::Hooks{[this] { settings_->Show(); },
                                           {[] { return Autostart(ExecutablePath()).Enabled(); },
                                            [](bool start) {
                                                const Autostart autostart(ExecutablePath());
                                                start ? autostart.Enable() : autostart.Disable();
                                            }},
                                           [this] { Quit(); }},
                               IconName());
}

void Application::Quit() {
    // The place survives a quit within the seconds before it would have been stored.
    if (clock_) {
        clock_->Controller().Exit();
    }
    g_application_quit(G_APPLICATION(application_.get()));
}

} // namespace lumivane::gtk
