#include "windows/autostart.h"

#include "core/error.h"
#include "windows/handles.h"

#include <windows.h>

#include <optional>
#include <vector>

namespace lumivane::windows {

namespace {

// The value as text (REG_EXPAND_SZ expanded); nothing when it is absent or not text.
std::optional<std::wstring> ReadText(const std::wstring& keyPath) {
    for (;;) {
        DWORD size = 0;
        if (RegGetValueW(HKEY_CURRENT_USER, keyPath.c_str(), kRunValueName, RRF_RT_REG_SZ, nullptr,
                         nullptr, &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
        size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        const LONG result = RegGetValueW(HKEY_CURRENT_USER, keyPath.c_str(), kRunValueName,
                                         RRF_RT_REG_SZ, nullptr, text.data(), &size);
        // Another writer may have made it longer in between: ask again.
        if (result == ERROR_MORE_DATA) {
            continue;
        }
        if (result != ERROR_SUCCESS) {
            return std::nullopt;
        }
        return std::wstring(text.data());
    }
}

} // namespace

std::wstring RunningProgramPath() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            throw Error("Failed to find the program's path");
        }
        if (length < path.size()) {
            return std::wstring(path.data(), length);
        }
        path.resize(path.size() * 2);
    }
}

Autostart::Autostart(std::wstring program, std::wstring keyPath)
    : program_(std::move(program)), keyPath_(std::move(keyPath)) {}

bool Autostart::Enabled() const {
    const std::optional<std::wstring> value = ReadText(keyPath_);
    const std::wstring command = Command();
    return value &&
           CompareStringOrdinal(value->c_str(), -1, command.c_str(), -1, TRUE) == CSTR_EQUAL;
}

void Autostart::Enable() const {
    HKEY opened = nullptr;
    LONG result =
        RegCreateKeyExW(HKEY_CURRENT_USER, keyPath_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &opened, nullptr);
    if (result == ERROR_SUCCESS) {
        const RegistryKey key(opened);
        const std::wstring command = Command();
        result = RegSetValueExW(key.get(), kRunValueName, 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(command.c_str()),
                                static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    }
    if (result != ERROR_SUCCESS) {
        throw Error("Failed to set the program to start with Windows");
    }
}

void Autostart::Disable() const {
    if (!Enabled()) {
        return;
    }
    HKEY opened = nullptr;
    LONG result = RegOpenKeyExW(HKEY_CURRENT_USER, keyPath_.c_str(), 0, KEY_SET_VALUE, &opened);
    if (result == ERROR_SUCCESS) {
        const RegistryKey key(opened);
        result = RegDeleteValueW(key.get(), kRunValueName);
    }
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
        throw Error("Failed to stop the program from starting with Windows");
    }
}

} // namespace lumivane::windows
