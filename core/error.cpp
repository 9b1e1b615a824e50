#include "core/error.h"

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

std::string FormatText(const std::string& pattern, const std::string& value) {
    return ReplaceFirst(pattern, "%s", value);
}

std::string FormatText(const std::string& pattern, long long value) {
    return ReplaceFirst(pattern, "%d", std::to_string(value));
}

} // namespace lumivane
