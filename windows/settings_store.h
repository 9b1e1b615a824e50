#pragma once
// The settings store of the Windows program: one registry key of the current user,
// REG_DWORD values read and written as signed 32-bit integers. Each use of the store
// creates its own access object; the key is closed on every path out of the use.
#include <windows.h>

#include <cstdint>
#include <string>

#include "core/settings/settings_rules.h"
#include "windows/handles.h"

namespace lumivane::windows {

// The program's own key, below HKEY_CURRENT_USER.
inline constexpr const char* kSettingsKeyPath = "\\Software\\Lumivane";

class RegistryStore final : public SettingsStore {
  public:
    // keyPath is below HKEY_CURRENT_USER; a leading backslash is allowed. Tests
    // pass a key of their own so that a user's settings are never touched.
    explicit RegistryStore(std::string keyPath = kSettingsKeyPath);

    // Opens the key to read it or, with create, to write it, creating it (and the keys
    // above). False when it is absent or cannot be created; a key that refuses reading
    // opens unreadable ("Failed to open key '%s'" with the system's reason).
    bool OpenStore(bool create) override;
    // Opens the key as OpenStore(true) does; throws Error "Failed to create key '%s'"
    // (the key) with the system's reason when it can be neither opened nor created.
    void CreateStore() override;
    bool Created() const override { return created_; }
    bool Readable() const override { return unreadable_.empty(); }
    // Throws Error "Failed to get data for '%s'" or "Invalid data type for '%s'".
    int32_t ReadValue(const std::string& name) override;
    // Throws Error "Failed to set data for '%s'".
    void WriteValue(const std::string& name, int32_t value) override;
    void CloseStore() override { key_.reset(); }

  private:
    // The registry's result of opening (or creating) the key.
    LONG Open(bool create);
    // The message of a refused open: the key and the system's reason.
    std::string Refusal(const char* pattern, LONG result) const;

    std::string keyPath_;
    RegistryKey key_;
    bool created_ = false;
    std::string unreadable_;
};

} // namespace lumivane::windows
