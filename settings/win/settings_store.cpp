#include "settings/win/settings_store.h"

#include <cctype>

#include "platform/error.h"

namespace lumivane {

SettingsStore::SettingsStore(std::string keyPath) : keyPath_(std::move(keyPath)) {
    // The registry wants the path relative to the root key.
    while (!keyPath_.empty() && keyPath_.front() == '\\') {
        keyPath_.erase(keyPath_.begin());
    }
}

bool SettingsStore::OpenStore(bool create) {
    return Open(create) == ERROR_SUCCESS;
}

void SettingsStore::CreateStore() {
    const LONG result = Open(true);
    if (result == ERROR_SUCCESS) {
        return;
    }
    char reason[256] = {};
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(result), 0, reason, sizeof reason, nullptr);
    std::string text = FormatText("Failed to create key '%s'", "HKEY_CURRENT_USER\\" + keyPath_);
    if (length > 0) {
        std::string why(reason, length);
        while (!why.empty() && std::isspace(static_cast<unsigned char>(why.back()))) {
            why.pop_back();
        }
        text += ": " + why;
    }
    throw Error(text);
}

LONG SettingsStore::Open(bool create) {
    CloseStore();
    HKEY key = nullptr;
    LONG result;
    if (create) {
        result = RegCreateKeyExA(HKEY_CURRENT_USER, keyPath_.c_str(), 0, nullptr,
                                 REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    } else {
        result = RegOpenKeyExA(HKEY_CURRENT_USER, keyPath_.c_str(), 0, KEY_ALL_ACCESS, &key);
    }
    if (result == ERROR_SUCCESS) {
        key_ = RegistryKey(key);
    }
    return result;
}

int32_t SettingsStore::ReadValue(const std::string& name) {
    DWORD type = REG_NONE;
    uint8_t data[4] = {0, 0, 0, 0};
    DWORD size = sizeof data;
    // Absent, unreadable or longer than four bytes: the data cannot be had.
    if (!key_ ||
        RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type, data, &size) != ERROR_SUCCESS) {
        throw Error(FormatText("Failed to get data for '%s'", name));
    }
    if (type != REG_DWORD) {
        throw Error(FormatText("Invalid data type for '%s'", name));
    }
    const uint32_t bits = static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
                          (static_cast<uint32_t>(data[2]) << 16) |
                          (static_cast<uint32_t>(data[3]) << 24);
    return static_cast<int32_t>(bits);
}

void SettingsStore::WriteValue(const std::string& name, int32_t value) {
    const uint32_t bits = static_cast<uint32_t>(value);
    const uint8_t data[4] = {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                             static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
    if (!key_ || RegSetValueExA(key_.get(), name.c_str(), 0, REG_DWORD, data, sizeof data) !=
                     ERROR_SUCCESS) {
        throw Error(FormatText("Failed to set data for '%s'", name));
    }
}

void SettingsStore::CloseStore() {
    key_.reset();
}

} // namespace lumivane
