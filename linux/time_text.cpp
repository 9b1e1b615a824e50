#include "linux/time_text.h"

namespace lumivane::gtk {

namespace {

void ReplaceAll(std::string& text, std::string_view what, std::string_view with) {
    for (size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
}

} // namespace

std::string TimeFormatWithoutSeconds(std::string_view timeFormat, std::string_view amPmFormat) {
    std::string format(timeFormat);
    ReplaceAll(format, "%r", amPmFormat);
    ReplaceAll(format, "%T", "%H:%M:%S");
    for (const std::string_view seconds : {"%OS", "%S"}) {
        for (size_t at = format.find(seconds); at != std::string::npos; at = format.find(seconds)) {
            size_t from = at;
            size_t to = at + seconds.size();
            if (from > 0 && (format[from - 1] == ':' || format[from - 1] == '.')) {
                --from; // "%H:%M:%S", "%H.%M.%S"
            } else {
                // A unit written after the seconds ("%H時%M分%S秒") goes with them.
                while (to < format.size() && format[to] != ' ' && format[to] != '%') {
                    ++to;
                }
            }
            format.erase(from, to - from);
        }
    }
    while (!format.empty() && format.back() == ' ') {
        format.pop_back();
    }
    if (format.find("%M") == std::string::npos && format.find("%OM") == std::string::npos) {
        return "%H:%M";
    }
    return format;
}

} // namespace lumivane::gtk
