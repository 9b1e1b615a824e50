// The locale's time format without its seconds, for locales' real formats.
#include <gtest/gtest.h>

#include "linux/time_text.h"

namespace lumivane::gtk {
namespace {

TEST(TimeFormatWithoutSeconds, TakesTheSecondsOutOfTheLocalesFormats) {
    struct Case {
        const char* locale;
        const char* timeFormat;
        const char* amPmFormat;
        const char* shortFormat;
    };
    const Case cases[] = {
        {"C, de_DE", "%H:%M:%S", "%I:%M:%S %p", "%H:%M"},
        {"en_US", "%r", "%I:%M:%S %p", "%I:%M %p"},
        {"en_GB", "%T", "%l:%M:%S %P %Z", "%H:%M"},
        {"fi_FI", "%H.%M.%S", "", "%H.%M"},
        {"ja_JP", "%H時%M分%S秒", "%p%I時%M分%S秒", "%H時%M分"},
        {"ko_KR", "%H시 %M분 %S초", "%p %I시 %M분 %S초", "%H시 %M분"},
        {"en_AU with a zone", "%I:%M:%S %p %Z", "", "%I:%M %p %Z"},
        {"alternative digits", "%OH:%OM:%OS", "", "%OH:%OM"},
        {"seconds only", "%S", "", "%H:%M"},
        {"empty", "", "", "%H:%M"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TimeFormatWithoutSeconds(c.timeFormat, c.amPmFormat), c.shortFormat) << c.locale;
    }
}

} // namespace
} // namespace lumivane::gtk
