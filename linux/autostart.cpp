#include "linux/autostart.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>

#include "core/error.h"
#include "linux/config_files.h"

namespace lumivane::gtk {

namespace {

// An Exec argument as the desktop entry rules want it: quoted, with each of " ` $ and
// backslash escaped, and every backslash then doubled, as in any string of the entry.
std::string Quoted(const std::string& argument) {
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += "\\\\";
        }
        quoted += c == '\\' ? std::string("\\\\") : std::string(1, c);
    }
    return quoted + "\"";
}

} // namespace

std::string ProgramNamedBy(const std::string& link) {
    constexpr std::string_view kDeleted = " (deleted)";
    const bool replaced = link.ends_with(kDeleted);
    const std::string path = replaced ? link.substr(0, link.size() - kDeleted.size()) : link;
    return access(path.c_str(), X_OK) == 0 ? path : std::string();
}

Autostart::Autostart(std::string program) : program_(std::move(program)) {}

std::string Autostart::Path() {
    return ConfigPath("autostart/lumivane.desktop");
}

bool Autostart::Enabled() const {
    std::ifstream entry(Path());
    if (!entry) {
        return false;
    }
    std::string line;
    while (std::getline(entry, line)) {
        if (line.rfind("Hidden=", 0) == 0 && line.substr(7) == "true") {
            return false;
        }
    }
    return true;
}

std::string Autostart::Entry() const {
    std::ostringstream text;
    text << "[Desktop Entry]\n"
         << "Type=Application\n"
         << "Name=Lumivane\n"
         << "Comment=A clock made of the desktop beneath it\n"
         << "Exec=" << Quoted(program_) << "\n"
         << "Icon=lumivane\n"
         << "Terminal=false\n"
         << "X-GNOME-Autostart-enabled=true\n";
    return text.str();
}

void Autostart::Enable() const {
    if (program_.empty() || access(program_.c_str(), X_OK) != 0) {
        throw Error("Start at login cannot be set: the program file " +
                    (program_.empty() ? std::string("of Lumivane") : program_) +
                    " is gone. Start Lumivane again and set it then.");
    }
    ReplaceFile(Path(), Entry());
}

void Autostart::Disable() const {
    const std::string path = Path();
    if (unlink(path.c_str()) != 0 && errno != ENOENT) {
        throw Error("Cannot remove " + path + ": " + std::strerror(errno));
    }
}

} // namespace lumivane::gtk
