#include "linux/application.h"

#include <glib-unix.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <vector>

#include "clock_window/monitors.h"
#include "linux/autostart.h"
#include "linux/clock_window.h"
#include "linux/settings_file.h"
#include "linux/settings_window.h"
#include "linux/tray.h"
#include "linux/x_monitors.h"
#include "platform/error.h"
#include "settings/settings_rules.h"

namespace lumivane {

namespace {

std::unique_ptr<TDIB> MakeBuffer() {
    return std::make_unique<TDIB>();
}

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
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : "lumivane";
}

Application::Application(ClockState& state, std::string note)
    : state_(state), note_(std::move(note)),
      application_(gtk_application_new(kApplicationId, G_APPLICATION_DEFAULT_FLAGS)) {
    g_signal_connect(application_, "activate", G_CALLBACK(Activated), this);
}

Application::~Application() {
    tray_.reset();
    settings_.reset();
    clock_.reset();
    g_object_unref(application_);
}

int Application::Run(int argc, char** argv) {
    const auto quit = +[](gpointer self) -> gboolean {
        static_cast<Application*>(self)->Quit();
        return G_SOURCE_REMOVE;
    };
    g_unix_signal_add(SIGTERM, quit, this);
    g_unix_signal_add(SIGINT, quit, this);
    g_unix_signal_add(SIGHUP, quit, this);
    return g_application_run(G_APPLICATION(application_), argc, argv);
}

void Application::Activated(GApplication*, gpointer data) {
    auto* self = static_cast<Application*>(data);
    Guarded(self->problems_, [self] {
        if (!self->started_) {
            self->started_ = true;
            self->Start();
        } else if (self->settings_) {
            self->settings_->Show();
        }
    });
}

void Application::Start() {
    const std::vector<Area> monitors = Monitors(gdk_display_get_default());
    LoadSettings(monitors.front());
    // The clock is as large as the monitor it starts on makes it.
    const size_t home = StartMonitor(state_, monitors);
    DeriveStartupState(state_, DisplayOf(monitors[home]), &MakeBuffer);
    const Place place = StartPlace(state_, monitors, home);
    clock_ = std::make_unique<ClockWindow>(
        state_, problems_, place,
        ClockWindow::Hooks{[this](Place) {
                               Store({&ClockState::SavedLeft, &ClockState::SavedTop});
                           },
                           [this] { Quit(); }});
    gtk_application_add_window(application_, clock_->Window());

    state_.StartCount = NextStartCount(state_.StartCount);
    Guarded(problems_, [this] { Store({&ClockState::StartCount}); });

    std::string note = note_;
    if (!clock_->SeesBeneath()) {
        note += (note.empty() ? "" : "\n") +
                std::string("This display cannot keep the pictures of the windows beneath the "
                            "clock, so the clock leaves the screen for a moment at each frame.");
    }
    settings_ = std::make_unique<SettingsWindow>(
        state_, problems_,
        SettingsWindow::Hooks{[this] { SaveSettings(); },
                              [this] { return DisplayOf(clock_->Monitor()).height; }},
        note);
    tray_ = std::make_unique<Tray>(
        problems_,
        Tray::Hooks{[this] { settings_->Show(); },
                    {[] { return StartsAtLogin(); },
                     [](bool start) { SetStartAtLogin(start, ExecutablePath()); }},
                    {[this] { return state_.HideFullScreen != 0; },
                     [this](bool hide) {
                         state_.HideFullScreen = hide ? 1 : 0;
                         clock_->CheckFullScreen();
                         Store({&ClockState::HideFullScreen}); // at once, as it was toggled
                     }},
                    [this] { Quit(); }},
        IconName());
    if (state_.StartCount <= 1) {
        settings_->Show();
    }
    clock_->Tick();
}

void Application::LoadSettings(const Area& primary) {
    SettingsFile file(SettingsFilePath());
    const LoadReport loaded =
        lumivane::LoadSettings(state_, DisplayOf(primary), file.OpenStore(false) ? &file : nullptr);
    if (loaded.firstStart) {
        // The defaults place the clock at the top of the primary monitor, wherever the
        // screen has it.
        state_.SavedLeft += primary.left;
        state_.SavedTop += primary.top;
    }
    // A file that cannot be read at all is never overwritten.
    if (loaded.firstStart || file.Readable()) {
        std::vector<int32_t ClockState::*> fields;
        for (const StoredValue& value : ValuesToStore(loaded)) {
            fields.push_back(value.field);
        }
        Guarded(problems_, [&] { Store(fields); });
    }
    if (!loaded.problem.empty()) {
        problems_.Report(loaded.problem + ". The clock uses the defaults for what it could "
                                          "not read.");
    }
}

void Application::Store(const std::vector<int32_t ClockState::*>& fields) {
    if (fields.empty()) {
        return;
    }
    SettingsFile file(SettingsFilePath());
    if (!file.OpenStore(true)) {
        return;
    }
    for (int32_t ClockState::*field : fields) {
        file.WriteValue(StoredName(field), state_.*field);
    }
    file.CloseStore();
}

void Application::SaveSettings() {
    SettingsFile file(SettingsFilePath());
    if (!file.OpenStore(true)) {
        throw Error("Cannot open the settings file " + file.Path());
    }
    // The settings save: every stored value but the start count.
    for (const auto& [name, field] : kStoredValues) {
        if (field != &ClockState::StartCount) {
            file.WriteValue(name, state_.*field);
        }
    }
    file.CloseStore();
}

void Application::Quit() {
    // The place survives a quit within the seconds before it would have been stored.
    if (clock_) {
        Guarded(problems_, [this] { clock_->StorePlaceIfMoved(); });
    }
    g_application_quit(G_APPLICATION(application_));
}

} // namespace lumivane
