// The clock's label: what of its text the dial shows, its font, and where its beads
// land on dials of every size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <span>
#include <string>
#include <tuple>

#include "core/render/label.h"
#include "core/render/render.h"
#include "tests/core/render/render_fixture.h"

using namespace lumivane;
using namespace lumivane::testing_support;

namespace {

using DotSet = std::set<std::tuple<int32_t, int32_t>>;

// A glyph's dots as (column, row), moved so that its leftmost column is 0; only those
// from column `from` on.
DotSet Shape(std::span<const GlyphDot> dots, int32_t from = INT8_MIN) {
    DotSet shape;
    int32_t left = INT8_MAX;
    for (const GlyphDot& dot : dots) {
        left = dot.a >= from ? std::min<int32_t>(left, dot.a) : left;
    }
    for (const GlyphDot& dot : dots) {
        if (dot.a >= from) {
            shape.insert({dot.a - left, dot.b});
        }
    }
    return shape;
}

DotSet ShapeOf(char character) {
    const LabelGlyph* glyph = LabelFont.Find(character);
    return glyph != nullptr ? Shape(LabelFont.DotsOf(*glyph)) : DotSet{};
}

// The pixels a label changes in a whole frame over a patterned desktop.
struct LabelPixels {
    int32_t count = 0;
    int32_t left = INT32_MAX;
    int32_t right = INT32_MIN;
    int32_t top = INT32_MAX;
    int32_t outside = 0; // beyond the ring the minute marks' beads leave free
};

ClockState RenderedClock(int32_t diameter, const std::string& label) {
    ClockState state = MakeClock(diameter);
    FillPattern(*state.BackgroundBuffer);
    state.Hour = 4;
    state.Minute = 32;
    state.Second = 27; // the second hand lies over the label
    state.Label = label;
    RenderFrame(state);
    return state;
}

LabelPixels ChangedBy(int32_t diameter, const std::string& label) {
    ClockState plain = RenderedClock(diameter, "");
    ClockState labelled = RenderedClock(diameter, label);
    const int32_t marksInside = plain.Radius - plain.Thickness - std::min(plain.Thickness / 3, 3);
    LabelPixels pixels;
    for (int32_t y = 0; y < diameter; ++y) {
        for (int32_t x = 0; x < diameter; ++x) {
            if (PixelAt(*plain.FrameBuffer, x, y) == PixelAt(*labelled.FrameBuffer, x, y)) {
                continue;
            }
            ++pixels.count;
            pixels.left = std::min(pixels.left, x);
            pixels.right = std::max(pixels.right, x);
            pixels.top = std::min(pixels.top, y);
            pixels.outside += plain.Distance(x, y) < marksInside ? 0 : 1;
        }
    }
    return pixels;
}

} // namespace

TEST(LabelText, WhatTheDialShows) {
    const std::tuple<std::string, std::string> cases[] = {
        {"", ""},
        {"Tokyo", "TOKYO"},
        {"utc+5:30", "UTC+5:30"},
        {"10/12 a.m.", "10/12 A.M."},
        // Latin letters with marks as their base letter; ligatures and ß as two.
        {"São Paulo", "SAO PAULO"},
        {"ÉÜÑÇØÅŁŠãô", "EUNCOALSAO"},
        {"ĲsselŒßÆÞ", "IJSSELOESSAETH"},
        {"Re\u0301union", "REUNION"}, // a combining mark goes with its letter
        // Characters the font lacks are left out, but count among the first 12.
        {"東京 Tokyo", "TOKYO"},
        {"a_b!c×d÷e\te", "ABCDEE"},
        {"!!!!!!!!!!!!AB", ""},
        {"ABCDEFGHIJKLMNOP", "ABCDEFGHIJKL"},
        // Gaps: a space or no-break space inside, none at either end.
        {"  New  York\u00A0", "NEW  YORK"},
        // Bytes that are not UTF-8: one lacking character each.
        {std::string("\xFF") + "A\xC3", "A"},
        {"\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80Z", "Z"},
        {std::string(12, '\x80') + "A", ""},
    };
    for (const auto& [text, drawn] : cases) {
        EXPECT_EQ(LabelDrawnText(text), drawn) << text;
    }
}

TEST(LabelFont, HoldsEveryCharacterOnceAndReadably) {
    const std::string characters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-:./";
    std::set<DotSet> shapes;
    for (char c : characters) {
        ASSERT_NE(LabelFont.Find(c), nullptr) << c;
        EXPECT_TRUE(shapes.insert(ShapeOf(c)).second) << c << " looks like another character";
    }
    EXPECT_EQ(LabelFont.glyphs.size(), characters.size());
    EXPECT_EQ(LabelFont.Find(' '), nullptr);
    EXPECT_EQ(LabelFont.Find('a'), nullptr);
}

TEST(LabelFont, DigitsAreTheNumeralsOwn) {
    for (int32_t digit = 1; digit <= 9; ++digit) {
        EXPECT_EQ(ShapeOf(static_cast<char>('0' + digit)), Shape(NumeralGlyphs[digit])) << digit;
    }
    EXPECT_EQ(ShapeOf('0'), Shape(NumeralGlyphs[10], 0)); // the zero of the 10
    // The seven leans as the numeral's does.
    const auto leans = [](auto dots) {
        std::set<std::tuple<int32_t, int32_t>> lean;
        for (const GlyphDot& dot : dots) {
            if (dot.nudgeXHalf != 0) {
                lean.insert({dot.b, dot.nudgeXHalf});
            }
        }
        return lean;
    };
    EXPECT_EQ(leans(LabelFont.DotsOf(*LabelFont.Find('7'))), leans(NumeralGlyphs[7]));
}

TEST(DrawLabel, CentredBelowTheHubInsideTheMarksOnEveryDial) {
    // Twelve of the widest characters, from dials too small for them to the largest
    // Thickness; 75 is the smallest size on a 768-pixel display.
    const std::string twelve(12, 'M');
    for (int32_t diameter : {20, 50, 75, 80, 100, 285, 1000}) {
        SCOPED_TRACE(diameter);
        const ClockState clock = MakeClock(diameter);
        const LabelPixels pixels = ChangedBy(diameter, twelve);
        EXPECT_EQ(pixels.outside, 0);
        if (pixels.count == 0) {
            EXPECT_LT(diameter, 50); // no room below the hub at all
            continue;
        }
        EXPECT_GE(pixels.top, clock.Radius + 4); // the hands' root reaches 3 pixels
        EXPECT_EQ(pixels.left + pixels.right, 2 * clock.Radius);
        if (diameter >= 80) {
            // All twelve drawn: one fewer is narrower, a thirteenth is not drawn.
            EXPECT_LT(ChangedBy(diameter, std::string(11, 'M')).right, pixels.right);
            EXPECT_TRUE(SamePicture(*RenderedClock(diameter, twelve).FrameBuffer,
                                    *RenderedClock(diameter, twelve + "M").FrameBuffer));
        }
    }
    // Where they do not fit, the last ones are left out and the rest stay centred.
    EXPECT_TRUE(SamePicture(*RenderedClock(75, twelve).FrameBuffer,
                            *RenderedClock(75, std::string(11, 'M')).FrameBuffer));
    const ClockState clock = MakeClock(285);
    const LabelPixels pixels = ChangedBy(285, "A-A"); // a symmetric text, by its own extent
    EXPECT_EQ(pixels.left + pixels.right, 2 * clock.Radius);
    EXPECT_EQ(ChangedBy(285, "東京 ?").count, 0) << "nothing the font has";
}
