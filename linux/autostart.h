#pragma once
// Starting with the session: a desktop entry in the user's autostart folder
// ($XDG_CONFIG_HOME/autostart/lumivane.desktop), which every desktop that follows the
// freedesktop.org autostart rules runs at login.
#include <string>

namespace lumivane::gtk {

std::string AutostartPath();

// Whether the entry is there and not switched off (Hidden=true).
bool StartsAtLogin();

// The program a link to it names (/proc/self/exe): after a package upgrade replaced the
// running file the link reads "… (deleted)", and the installed program is the file that
// now stands at that path. Empty when no program stands there.
std::string ProgramNamedBy(const std::string& link);

// Writes the entry, starting `executable`, or removes it. Throws Error, also when the
// program is gone (an entry that names no program could never start).
void SetStartAtLogin(bool start, const std::string& executable);

// The entry's text for `executable` (an absolute path).
std::string AutostartEntry(const std::string& executable);

} // namespace lumivane::gtk
