#include "image/error.h"

namespace lumivane {

namespace {
std::string ReplaceFirst(const std::string& pattern, const char* token, const std::string& value) {
    std::string text = pattern;
    if (auto at = text.find(token); at != std::string::npos) {
        text.replace(at, 2, value);
    }
    return text;
}
} // namespace

std::string FormatMessage(const std::string& pattern, const std::string& value) {
    return ReplaceFirst(pattern, "%s", value);
}

std::string FormatMessage(const std::string& pattern, long long value) {
    return ReplaceFirst(pattern, "%d", std::to_string(value));
}

} // namespace lumivane

#if defined(_WIN32)
namespace lumivane {

// Where the platform header is seen before error.h, its FormatMessage macro turns
// the declarations and calls into FormatMessageW (or FormatMessageA): the same
// functions under those names, so every unit links whatever it included first.
std::string FormatMessageW(const std::string& pattern, const std::string& value) {
    return FormatMessage(pattern, value);
}
std::string FormatMessageW(const std::string& pattern, long long value) {
    return FormatMessage(pattern, value);
}
std::string FormatMessageA(const std::string& pattern, const std::string& value) {
    return FormatMessage(pattern, value);
}
std::string FormatMessageA(const std::string& pattern, long long value) {
    return FormatMessage(pattern, value);
}

} // namespace lumivane
#endif
