// The clock's label: what of its text the dial shows, and its font.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <span>
#include <string>
#include <tuple>

#include "core/render/label.h"
#include "core/render/render.h"

using namespace lumivane;

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
        {"Los Angeles, California", "LOS ANGELES"},
        {"ABCDEFGHIJKLMNOP", "ABCDEFGHIJKL"},
        // Gaps: a space or no-break space inside, none at either end.
        {"  New  York\u00A0", "NEW  YORK"},
        {"A\u00A0B", "A B"},
        // Bytes that are not UTF-8: one lacking character each.
        {std::string("\xFF") + "A\xC3", "A"},
        {"\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80Z", "Z"},
        {"\xE2\x82", ""},
        {std::string(12, '\x80') + "A", ""},
        {std::string("A\0B", 3), "AB"},
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
