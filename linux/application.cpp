#include "linux/application.h"

#include <gdk/gdkx.h>
#include <glib-unix.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <csignal>

#include "image/error.h"
#include "linux/autostart.h"
#include "linux/clock_window.h"
#include "linux/settings_file.h"
#include "linux/settings_window.h"
#include "linux/tray.h"

namespace lumivane {

namespace {

// The stored values in the order of the load and of the defaults write.
struct StoredValue {
    const char* name;
    int32_t ClockState::*field;
};
constexpr std::array<StoredValue, 7> kStoredValues{{
    {"Bright", &ClockState::Bright},
    {"Size", &ClockState::Size},
    {"Algoritm", &ClockState::Algoritm},
    {"Contrast", &ClockState::Contrast},
    {"Left", &ClockState::SavedLeft},
    {"Top", &ClockState::SavedTop},
    {"Start_1", &ClockState::StartCount},
}};

std::unique_ptr<TDIB> MakeBuffer() {
    return std::make_unique<TDIB>();
}

// The primary monitor: the clock's sizes are measured against it, and a first start
// places the clock at its top.
GdkRectangle PrimaryMonitor() {
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (monitor == nullptr) {
        monitor = gdk_display_get_monitor(display, 0);
    }
    GdkRectangle area{0, 0, 0, 0};
    if (monitor != nullptr) {
        gdk_monitor_get_geometry(monitor, &area);
    }
    return area;
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
    const GdkRectangle monitor = PrimaryMonitor();
    LoadSettings(monitor.height, monitor.width);
    DeriveStartupState(state_, {monitor.width, monitor.height}, &MakeBuffer);

    // A stored place from which no pixel of the clock would show starts just beyond the
    // nearest edge of the screen, from where the edge keeping brings it in.
    ::Display* display = gdk_x11_display_get_xdisplay(gdk_display_get_default());
    const int32_t screenWidth = DisplayWidth(display, DefaultScreen(display));
    const int32_t screenHeight = DisplayHeight(display, DefaultScreen(display));
    const int32_t side = std::max(state_.Diameter, 0);
    const Place place{std::clamp(state_.SavedLeft, -side, std::max(screenWidth, -side)),
                      std::clamp(state_.SavedTop, -side, std::max(screenHeight, -side))};
    clock_ = std::make_unique<ClockWindow>(
        state_, problems_, place,
        ClockWindow::Hooks{[this](Place where) { StorePlace(where.left, where.top); },
                           [this] { Quit(); }});
    gtk_application_add_window(application_, clock_->Window());

    state_.StartCount = NextStartCount(state_.StartCount);
    {
        SettingsFile file(SettingsFilePath());
        try {
            if (file.OpenStore(true)) {
                file.WriteValue("Start_1", state_.StartCount);
                file.CloseStore();
            }
        } catch (const Error& error) {
            problems_.Report(error.what());
        }
    }

    std::string note = note_;
    if (!clock_->SeesBeneath()) {
        note += (note.empty() ? "" : "\n") +
                std::string("This display cannot keep the pictures of the windows beneath the "
                            "clock, so the clock leaves the screen for a moment at each frame.");
    }
    settings_ = std::make_unique<SettingsWindow>(
        state_, problems_,
        SettingsWindow::Hooks{[this] { SaveSettings(); }, [] { return PrimaryMonitor().height; }},
        note);
    tray_ = std::make_unique<Tray>(
        problems_,
        Tray::Hooks{[this] { settings_->Show(); }, [] { return StartsAtLogin(); },
                    [](bool start) { SetStartAtLogin(start, ExecutablePath()); },
                    [this] { Quit(); }},
        IconName());
    if (state_.StartCount <= 1) {
        settings_->Show();
    }
    clock_->Tick();
}

void Application::LoadSettings(int32_t displayHeight, int32_t displayWidth) {
    const Display display{displayWidth, displayHeight};
    ClockState defaults;
    ApplyFirstStartDefaults(defaults, display);
    SettingsFile file(SettingsFilePath());
    bool opened = false;
    std::string problem;
    try {
        opened = file.OpenStore(false);
    } catch (const Error& error) {
        // A file that is there but cannot be read is not replaced: the defaults hold
        // for this run only.
        problems_.Report(std::string(error.what()) + "; the clock starts with its defaults.");
        for (const auto& [name, field] : kStoredValues) {
            state_.*field = defaults.*field;
        }
        state_.StartCount = 2;
        return;
    }
    if (opened) {
        for (const auto& [name, field] : kStoredValues) {
            try {
                state_.*field = file.ReadValue(name);
            } catch (const Error& error) {
                state_.*field = field == &ClockState::StartCount ? 1 : defaults.*field;
                if (problem.empty()) {
                    problem = error.what();
                }
            }
        }
    }
    if (state_.StartCount == 0) {
        ApplyFirstStartDefaults(state_, display);
        const GdkRectangle monitor = PrimaryMonitor();
        state_.SavedLeft += monitor.x;
        state_.SavedTop += monitor.y;
        try {
            if (file.OpenStore(true)) {
                for (const auto& [name, field] : kStoredValues) {
                    file.WriteValue(name, state_.*field);
                }
                file.CloseStore();
            }
        } catch (const Error& error) {
            problems_.Report(error.what());
        }
    }
    if (!problem.empty()) {
        problems_.Report(problem + "; its default is used.");
    }
}

void Application::StorePlace(int32_t left, int32_t top) {
    SettingsFile file(SettingsFilePath());
    if (file.OpenStore(true)) {
        file.WriteValue("Left", left);
        file.WriteValue("Top", top);
        file.CloseStore();
    }
}

void Application::SaveSettings() {
    SettingsFile file(SettingsFilePath());
    if (!file.OpenStore(true)) {
        throw Error("Cannot open the settings file " + file.Path());
    }
    for (const char* name : {"Bright", "Size", "Algoritm", "Contrast", "Left", "Top"}) {
        const auto found =
            std::find_if(kStoredValues.begin(), kStoredValues.end(),
                         [&](const StoredValue& v) { return v.name == std::string(name); });
        file.WriteValue(name, state_.*(found->field));
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
