#pragma once
// Starting with the session: a desktop entry in the user's autostart folder
// ($XDG_CONFIG_HOME/autostart/lumivane.desktop), which every desktop that follows the
// freedesktop.org autostart rules runs at login.
#include <string>

namespace lumivane::gtk {

// The program a link to it names (/proc/self/exe): after a package upgrade replaced the
// running file the link reads "… (deleted)", and the installed program is the file that
// now stands at that path. Empty when no program stands there.
std::string ProgramNamedBy(const std::string& link);

class Autostart {
  public:
    // The entry that starts `program` (an absolute path; empty: none stands there).
    explicit Autostart(std::string program);

    // Whether the entry is there and not switched off (Hidden=true).
    bool Enabled() const;
    // Writes the entry, or removes it. Throws Error, also when the program is gone (an
    // entry that names no program could never start).
    void Enable() const;
    void Disable() const;

    // $XDG_CONFIG_HOME/autostart/lumivane.desktop
    static std::string Path();
    // The entry's text.
    std::string Entry() const;

  private:
    std::string program_;
};

} // namespace lumivane::gtk
