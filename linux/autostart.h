#pragma once
// Starting with the session: a desktop entry in the user's autostart folder
// ($XDG_CONFIG_HOME/autostart/lumivane.desktop), which every desktop that follows the
// freedesktop.org autostart rules runs at login.
#include <string>

namespace lumivane {

std::string AutostartPath();

// Whether the entry is there and not switched off (Hidden=true).
bool StartsAtLogin();

// Writes the entry, starting `executable`, or removes it. Throws Error.
void SetStartAtLogin(bool start, const std::string& executable);

// The entry's text for `executable` (an absolute path).
std::string AutostartEntry(const std::string& executable);

} // namespace lumivane
