// The settings window's bars, whichever window shows them: a stored value beyond a bar's
// range shows the bar's end, and one that so comes to another position than the bar's
// design position takes it, with what derives from it; within the range a value shows as
// it is. A bar allowed one step too far would brighten, size or shade past the rules.
#include <gtest/gtest.h>

#include <optional>

#include "tests/core/settings/extreme_startup.h"

using namespace lumivane;
using namespace lumivane::extreme;

TEST(SettingsBars, AValueBeyondABarShowsItsEndAndTakesItUnlessThatIsTheDesignPosition) {
    constexpr Display kLaptop{1366, 768}; // ScreenScale 15
    struct Case {
        int index;
        Bar bar;
        int32_t stored;
        int32_t shown;
        int32_t kept;
    };
    const Case cases[] = {
        {kBright, Bar::Bright, 31, 30, 30},    {kBright, Bar::Bright, -1, 0, -1},
        {kBright, Bar::Bright, 29, 29, 29},    {kSize, Bar::Size, 51, 50, 50},
        {kSize, Bar::Size, 4, 5, 4},           {kAlgoritm, Bar::Algoritm, 6, 5, 5},
        {kAlgoritm, Bar::Algoritm, -1, 0, -1}, {kContrast, Bar::Contrast, 16, 15, 15},
        {kContrast, Bar::Contrast, -1, 0, -1}, {kContrast, Bar::Contrast, 14, 14, 14},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << RuleOf(c.bar).label << " stored as " << c.stored);
        StoredSettings stored = UsualSettings();
        stored.values[c.index] = c.stored;
        ClockState state;
        StartClock(state, kLaptop, stored);
        std::optional<int32_t> shown;
        OpenBars(state, kLaptop.height, [&](const BarRule& rule, int32_t position) {
            if (rule.bar == c.bar) {
                shown = position;
            }
        });
        EXPECT_EQ(shown.value_or(RuleOf(c.bar).designPosition), c.shown);
        EXPECT_EQ(state.*RuleOf(c.bar).setting, c.kept);
        EXPECT_EQ(state.BrightFactor, state.Bright / 30.0L);
        EXPECT_EQ(state.ContrastFactor, state.Contrast / 30.0L);
        EXPECT_EQ(state.Diameter, 15 * std::max(state.Size, 0));
    }
}
