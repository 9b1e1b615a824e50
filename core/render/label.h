#pragma once
// The clock's label: the rule for what of its text the dial shows, and the dot-matrix
// font its beads are drawn in (the numerals' grid: seven rows, b = -3 to 3).
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/render/render.h"

namespace lumivane {

// The dial draws at most this many characters of a label: the text's first ones.
inline constexpr size_t kLabelMostCharacters = 12;

// What the dial shows of a label's text (UTF-8): of its first 12 characters, small
// letters as capitals, Latin letters with marks as their base letter (Æ, Œ, Ĳ, ß and
// Þ as two), the font's digits and signs as they are, a space (or no-break space) as a
// gap; characters the font lacks, and bytes that are not UTF-8 (one character each),
// are left out. Combining marks go with their letter and are not counted. Gaps at
// either end are dropped: they would only move the label off centre.
std::string LabelDrawnText(std::string_view utf8);

// One character of the label font: `width` columns, its dots at a = 0 to width - 1.
struct LabelGlyph {
    char character = 0;
    int8_t width = 0;
    uint16_t first = 0; // its dots in LabelFontTable::dots
    uint16_t count = 0;
};

// Columns between two characters, and the width of a space.
inline constexpr int32_t kLabelSpacing = 1;
inline constexpr int32_t kLabelSpaceWidth = 3;

namespace label_font {

inline constexpr size_t kRows = 7;
inline constexpr int32_t kWidest = 5;

// '#' a dot; '<' and '>' a dot nudged half a pitch left or right (as the numerals'
// seven leans); '.' none. The digits are the numerals' own.
struct Picture {
    char character = 0;
    std::array<std::string_view, kRows> rows;
};

inline constexpr Picture kPictures[] = {
    {'A', {".##.", "#..#", "#..#", "####", "#..#", "#..#", "#..#"}},
    {'B', {"###.", "#..#", "#..#", "###.", "#..#", "#..#", "###."}},
    {'C', {".##.", "#..#", "#...", "#...", "#...", "#..#", ".##."}},
    {'D', {"###.", "#..#", "#..#", "#..#", "#..#", "#..#", "###."}},
    {'E', {"####", "#...", "#...", "###.", "#...", "#...", "####"}},
    {'F', {"####", "#...", "#...", "###.", "#...", "#...", "#..."}},
    {'G', {".##.", "#..#", "#...", "#.##", "#..#", "#..#", ".###"}},
    {'H', {"#..#", "#..#", "#..#", "####", "#..#", "#..#", "#..#"}},
    {'I', {"###", ".#.", ".#.", ".#.", ".#.", ".#.", "###"}},
    {'J', {"...#", "...#", "...#", "...#", "...#", "#..#", ".##."}},
    {'K', {"#..#", "#..#", "#.#.", "##..", "#.#.", "#..#", "#..#"}},
    {'L', {"#...", "#...", "#...", "#...", "#...", "#...", "####"}},
    {'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
    {'N', {"#...#", "##..#", "##..#", "#.#.#", "#..##", "#..##", "#...#"}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'P', {"###.", "#..#", "#..#", "###.", "#...", "#...", "#..."}},
    {'Q', {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"}},
    {'R', {"###.", "#..#", "#..#", "###.", "#.#.", "#..#", "#..#"}},
    {'S', {".##.", "#..#", "#...", ".##.", "...#", "#..#", ".##."}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'U', {"#..#", "#..#", "#..#", "#..#", "#..#", "#..#", ".##."}},
    {'V', {"#...#", "#...#", "#...#", "#...#", ".#.#.", ".#.#.", "..#.."}},
    {'W', {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "##.##", "#...#"}},
    {'X', {"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"}},
    {'Y', {"#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."}},
    {'Z', {"#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"}},
    {'0', {".##.", "#..#", "#..#", "#..#", "#..#", "#..#", ".##."}},
    {'1', {".#", "##", ".#", ".#", ".#", ".#", ".#"}},
    {'2', {".##.", "#..#", "...#", "..#.", ".#..", "#...", "####"}},
    {'3', {".##.", "#..#", "...#", "..#.", "...#", "#..#", ".##."}},
    {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
    {'5', {"####", "#...", "###.", "...#", "...#", "#..#", ".##."}},
    {'6', {".##.", "#..#", "#...", "###.", "#..#", "#..#", ".##."}},
    {'7', {"####", "...#", "..>.", "..#.", "..<.", ".#..", ".#.."}},
    {'8', {".##.", "#..#", "#..#", ".##.", "#..#", "#..#", ".##."}},
    {'9', {".##.", "#..#", "#..#", ".###", "...#", "#..#", ".##."}},
    {'+', {"...", "...", ".#.", "###", ".#.", "...", "..."}},
    {'-', {"...", "...", "...", "###", "...", "...", "..."}},
    {':', {".", ".", "#", ".", "#", ".", "."}},
    {'.', {".", ".", ".", ".", ".", ".", "#"}},
    {'/', {"..#", "..#", ".#.", ".#.", ".#.", "#..", "#.."}},
};

constexpr bool IsDot(char c) {
    return c == '#' || c == '<' || c == '>';
}

// Rows of one width, 1 to kWidest, with a dot in the first and the last column, and no
// character twice: the label's width and centring rest on it.
constexpr bool WellFormed() {
    for (size_t k = 0; k < std::size(kPictures); ++k) {
        const Picture& picture = kPictures[k];
        const size_t width = picture.rows[0].size();
        if (width < 1 || width > kWidest) {
            return false;
        }
        bool firstColumn = false;
        bool lastColumn = false;
        for (std::string_view row : picture.rows) {
            if (row.size() != width || row.find_first_not_of(".#<>") != std::string_view::npos) {
                return false;
            }
            firstColumn = firstColumn || IsDot(row.front());
            lastColumn = lastColumn || IsDot(row.back());
        }
        for (size_t other = 0; other < k; ++other) {
            if (kPictures[other].character == picture.character) {
                return false;
            }
        }
        if (!firstColumn || !lastColumn) {
            return false;
        }
    }
    return true;
}
static_assert(WellFormed());

constexpr size_t CountDots() {
    size_t count = 0;
    for (const Picture& picture : kPictures) {
        for (std::string_view row : picture.rows) {
            for (char c : row) {
                count += IsDot(c) ? 1 : 0;
            }
        }
    }
    return count;
}

} // namespace label_font

// The label font as glyph dots, row by row from the top, each row from the left.
struct LabelFontTable {
    std::array<GlyphDot, label_font::CountDots()> dots{};
    std::array<LabelGlyph, std::size(label_font::kPictures)> glyphs{};

    constexpr std::span<const GlyphDot> DotsOf(const LabelGlyph& glyph) const {
        return std::span<const GlyphDot>(dots).subspan(glyph.first, glyph.count);
    }
    // None for a character the font lacks (a space among them).
    constexpr const LabelGlyph* Find(char character) const {
        for (const LabelGlyph& glyph : glyphs) {
            if (glyph.character == character) {
                return &glyph;
            }
        }
        return nullptr;
    }
};

constexpr LabelFontTable MakeLabelFont() {
    LabelFontTable font;
    size_t at = 0;
    for (size_t k = 0; k < font.glyphs.size(); ++k) {
        const label_font::Picture& picture = label_font::kPictures[k];
        LabelGlyph& glyph = font.glyphs[k];
        glyph.character = picture.character;
        glyph.width = static_cast<int8_t>(picture.rows[0].size());
        glyph.first = static_cast<uint16_t>(at);
        for (size_t row = 0; row < label_font::kRows; ++row) {
            const int b = static_cast<int>(row) - 3;
            for (size_t column = 0; column < picture.rows[row].size(); ++column) {
                const char c = picture.rows[row][column];
                if (!label_font::IsDot(c)) {
                    continue;
                }
                const glyphs::Nudge nudge = c == '<'   ? glyphs::kLeftHalf
                                            : c == '>' ? glyphs::kRightHalf
                                                       : glyphs::kStay;
                font.dots[at++] = glyphs::Dot(static_cast<int>(column), b, nudge);
            }
        }
        glyph.count = static_cast<uint16_t>(at - glyph.first);
    }
    return font;
}

inline constexpr LabelFontTable LabelFont = MakeLabelFont();

// Columns the drawn text takes: its characters' widths and the spacing between them.
int32_t LabelColumns(std::string_view drawn);

} // namespace lumivane
