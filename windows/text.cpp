#include "windows/text.h"

#include <cwctype>

namespace lumivane::windows {

std::wstring Widened(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    std::wstring wide(
        static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), static_cast<int>(wide.size()));
    return wide;
}

std::string Narrowed(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    std::string narrow(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), size,
                                                               nullptr, 0, nullptr, nullptr)),
                       '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(),
                        static_cast<int>(narrow.size()), nullptr, nullptr);
    return narrow;
}

std::string SystemReason(DWORD code) {
    wchar_t reason[512] = {};
    DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                       reason, static_cast<DWORD>(std::size(reason)), nullptr);
    while (length > 0 && std::iswspace(reason[length - 1])) {
        --length;
    }
    return length > 0 ? Narrowed({reason, length}) : "error " + std::to_string(code);
}

} // namespace lumivane::windows
