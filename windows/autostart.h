#pragma once
// Start with Windows: the value "Lumivane" under the current user's Run key,
// holding the program's full path in quotes. Written only when the user asks,
// and deleted by the uninstaller through the program's own switch.
#include <string>

namespace lumivane::windows {

inline constexpr const wchar_t* kRunKeyPath = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const wchar_t* kRunValueName = L"Lumivane";
// The uninstaller runs the installed program with this switch alone: it deletes
// the value if it names that program and ends without a window.
inline constexpr const wchar_t* kRemoveAutostartSwitch = L"--remove-autostart";

// The full path of the running program.
std::wstring RunningProgramPath();

class Autostart {
  public:
    // The running program's value in the user's Run key.
    Autostart() : Autostart(RunningProgramPath(), kRunKeyPath) {}
    // `program` is the path the value starts; `keyPath` is below HKEY_CURRENT_USER
    // (tests pass a key of their own).
    Autostart(std::wstring program, std::wstring keyPath);

    // The value is there and names this program: its quoted path, in any letter case.
    bool Enabled() const;
    // Writes the value, replacing one that names another copy. Throws Error.
    void Enable() const;
    // Deletes the value if it names this program; another copy's value stays.
    // Throws Error when the value cannot be deleted.
    void Disable() const;

    // What the value holds when it names this program.
    std::wstring Command() const { return L'"' + program_ + L'"'; }

  private:
    std::wstring program_;
    std::wstring keyPath_;
};

} // namespace lumivane::windows
