#pragma once
// Portable mode: where a file Lumivane.ini stands beside Lumivane.exe, the program keeps
// its settings and place in it, a settings file (core/settings/settings_file.h) as the
// Linux program keeps, rather than in the registry. The choice is made once, at start.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/settings/settings_file.h"
#include "windows/settings_store.h"

namespace lumivane::windows {

// The settings file beside the program that turns portable mode on.
inline constexpr const wchar_t* kPortableFileName = L"Lumivane.ini";

// The settings file's operations on Windows; paths are UTF-8, as the core keeps them.
// Lines end as Notepad reads them on every Windows.
class WindowsFiles final : public FileAccess {
  public:
    std::optional<std::string> Read(const std::string& path, size_t largest) const override;
    // A read-only file is refused, as Windows refuses replacing it (Wine would not). The
    // new file takes the old one's hidden and system attributes. A file of several names
    // (hard links) is written in place instead, so that they stay one file.
    void Replace(const std::string& path, const std::string& text) const override;
    std::string_view LineEnd() const override { return "\r\n"; }
};

// Makes the store for each use of it.
using StoreMaker = std::function<std::unique_ptr<SettingsStore>()>;

// The registry key `keyPath` below HKEY_CURRENT_USER.
StoreMaker RegistryStoreAt(std::string keyPath = kSettingsKeyPath);

// The store of the program at `programPath`: the file Lumivane.ini beside it when one is
// there, the registry key `keyPath` otherwise.
StoreMaker ChooseSettingsStore(const std::wstring& programPath,
                               std::string keyPath = kSettingsKeyPath);

// The running program's store.
StoreMaker ProgramSettingsStore();

} // namespace lumivane::windows
