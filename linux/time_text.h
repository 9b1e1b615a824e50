#pragma once
// The user's short time for assistive technology on Linux: the locale's time format
// (nl_langinfo's T_FMT, what strftime's "%X" writes) with its seconds taken out.
#include <string>
#include <string_view>

namespace lumivane::gtk {

// `timeFormat` (T_FMT) without its seconds; `amPmFormat` (T_FMT_AMPM) stands for a "%r" in
// it. A format that keeps no minutes gives "%H:%M".
std::string TimeFormatWithoutSeconds(std::string_view timeFormat, std::string_view amPmFormat);

} // namespace lumivane::gtk
