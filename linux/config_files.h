#pragma once
// Where the Linux program keeps its settings: $XDG_CONFIG_HOME/lumivane/lumivane.conf, a
// settings file (core/settings/settings_file.h) read and replaced with POSIX calls.
#include <optional>
#include <string>
#include <string_view>

#include "core/settings/settings_file.h"

namespace lumivane::gtk {

// The settings file's operations on a POSIX file system. A file kept as a symbolic link
// (a dotfile manager's) is read through it, and the file it names is replaced, in its own
// folder and with its own mode.
class PosixFiles final : public FileAccess {
  public:
    std::optional<std::string> Read(const std::string& path, size_t largest) const override;
    void Replace(const std::string& path, const std::string& text) const override;
    std::string_view LineEnd() const override { return "\n"; }
};

// $XDG_CONFIG_HOME (or ~/.config) and the rest of a path below it.
std::string ConfigPath(const std::string& below);
// The settings file's path: lumivane/lumivane.conf in the configuration folder.
std::string SettingsFilePath();

// Replaces the file at `path` (where it is a link, the file it names) with `text` at
// once, creating the folders above it: written to a new file beside it, flushed, renamed
// over it. Throws Error.
void ReplaceFile(const std::string& path, const std::string& text);

} // namespace lumivane::gtk
