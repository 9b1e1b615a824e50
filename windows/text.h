#pragma once
// The program's texts are UTF-8 (the core's, and paths in them); the wide-character calls
// take UTF-16.
#include <windows.h>

#include <string>
#include <string_view>

namespace lumivane::windows {

// A UTF-8 text as the wide-character calls take it.
std::wstring Widened(std::string_view text);
// A text of the wide-character calls in UTF-8.
std::string Narrowed(std::wstring_view text);

// The system's words for an error code, without the line end it ends with.
std::string SystemReason(DWORD code);

} // namespace lumivane::windows
