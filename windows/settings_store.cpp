#include "windows/settings_store.h"

#include "core/error.h"
#include "windows/text.h"

namespace lumivane::windows {

RegistryStore::RegistryStore(std::string keyPath) : keyPath_(std::move(keyPath)) {
    keyPath_.erase(0, keyPath_.find_first_not_of('\\')); // relative to the root key
}

bool RegistryStore::OpenStore(bool create) {
    const LONG result = Open(create);
    if (result == ERROR_SUCCESS) {
        return true;
    }
    if (create || result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND) {
        return false;
    }
    // There, but refused to this user: every read says why, and it is never written.
    unreadable_ = Refusal("Failed to open key '%s'", result);
    return true;
}

void RegistryStore::CreateStore() {
    const LONG result = Open(true);
    if (result != ERROR_SUCCESS) {
        throw Error(Refusal("Failed to create key '%s'", result));
    }
}

std::string RegistryStore::Refusal(const char* pattern, LONG result) const {
    return FormatText(pattern, "HKEY_CURRENT_USER\\" + keyPath_) + ": " +
           SystemReason(static_cast<DWORD>(result));
}

LONG RegistryStore::Open(bool create) {
    CloseStore();
    unreadable_.clear();
    created_ = false;
    HKEY key = nullptr;
    LONG result;
    // Reading never asks to write, so that a key the user may only read is still read.
    if (create) {
        DWORD disposition = 0;
        result = RegCreateKeyExA(HKEY_CURRENT_USER, keyPath_.c_str(), 0, nullptr,
                                 REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &key,
                                 &disposition);
        created_ = disposition == REG_CREATED_NEW_KEY;
    } else {
        result = RegOpenKeyExA(HKEY_CURRENT_USER, keyPath_.c_str(), 0, KEY_READ, &key);
    }
    if (result == ERROR_SUCCESS) {
        key_ = RegistryKey(key);
    }
    return result;
}

int32_t RegistryStore::ReadValue(const std::string& name) {
    DWORD type = REG_NONE;
    DWORD data = 0; // a shorter value leaves zeros above its bytes
    DWORD size = sizeof data;
    if (!unreadable_.empty()) {
        throw Error(unreadable_);
    }
    // Absent, unreadable or longer than four bytes: the data cannot be had.
    if (!key_ || RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS) {
        throw Error(FormatText("Failed to get data for '%s'", name));
    }
    if (type != REG_DWORD) {
        throw Error(FormatText("Invalid data type for '%s'", name));
    }
    return static_cast<int32_t>(data);
}

void RegistryStore::WriteValue(const std::string& name, int32_t value) {
    const auto data = static_cast<DWORD>(value);
    if (!key_ ||
        RegSetValueExA(key_.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                       sizeof data) != ERROR_SUCCESS) {
        throw Error(FormatText("Failed to set data for '%s'", name));
    }
}

} // namespace lumivane::windows
