#include "core/render/label.h"

namespace lumivane {

namespace {

// A run of code points drawn as the same capitals.
struct LatinFold {
    char32_t first = 0;
    char32_t last = 0;
    std::string_view capitals;
};

// Latin-1 and Latin Extended-A, capitals and small letters alike. The signs among them
// (× and ÷) are not letters and stay out.
constexpr LatinFold kLatinFolds[] = {
    {.first = 0xC0, .last = 0xC5, .capitals = "A"},
    {.first = 0xC6, .last = 0xC6, .capitals = "AE"},
    {.first = 0xC7, .last = 0xC7, .capitals = "C"},
    {.first = 0xC8, .last = 0xCB, .capitals = "E"},
    {.first = 0xCC, .last = 0xCF, .capitals = "I"},
    {.first = 0xD0, .last = 0xD0, .capitals = "D"},
    {.first = 0xD1, .last = 0xD1, .capitals = "N"},
    {.first = 0xD2, .last = 0xD6, .capitals = "O"},
    {.first = 0xD8, .last = 0xD8, .capitals = "O"},
    {.first = 0xD9, .last = 0xDC, .capitals = "U"},
    {.first = 0xDD, .last = 0xDD, .capitals = "Y"},
    {.first = 0xDE, .last = 0xDE, .capitals = "TH"},
    {.first = 0xDF, .last = 0xDF, .capitals = "SS"},
    {.first = 0xE0, .last = 0xE5, .capitals = "A"},
    {.first = 0xE6, .last = 0xE6, .capitals = "AE"},
    {.first = 0xE7, .last = 0xE7, .capitals = "C"},
    {.first = 0xE8, .last = 0xEB, .capitals = "E"},
    {.first = 0xEC, .last = 0xEF, .capitals = "I"},
    {.first = 0xF0, .last = 0xF0, .capitals = "D"},
    {.first = 0xF1, .last = 0xF1, .capitals = "N"},
    {.first = 0xF2, .last = 0xF6, .capitals = "O"},
    {.first = 0xF8, .last = 0xF8, .capitals = "O"},
    {.first = 0xF9, .last = 0xFC, .capitals = "U"},
    {.first = 0xFD, .last = 0xFD, .capitals = "Y"},
    {.first = 0xFE, .last = 0xFE, .capitals = "TH"},
    {.first = 0xFF, .last = 0xFF, .capitals = "Y"},
    {.first = 0x100, .last = 0x105, .capitals = "A"},
    {.first = 0x106, .last = 0x10D, .capitals = "C"},
    {.first = 0x10E, .last = 0x111, .capitals = "D"},
    {.first = 0x112, .last = 0x11B, .capitals = "E"},
    {.first = 0x11C, .last = 0x123, .capitals = "G"},
    {.first = 0x124, .last = 0x127, .capitals = "H"},
    {.first = 0x128, .last = 0x131, .capitals = "I"},
    {.first = 0x132, .last = 0x133, .capitals = "IJ"},
    {.first = 0x134, .last = 0x135, .capitals = "J"},
    {.first = 0x136, .last = 0x138, .capitals = "K"},
    {.first = 0x139, .last = 0x142, .capitals = "L"},
    {.first = 0x143, .last = 0x14B, .capitals = "N"},
    {.first = 0x14C, .last = 0x151, .capitals = "O"},
    {.first = 0x152, .last = 0x153, .capitals = "OE"},
    {.first = 0x154, .last = 0x159, .capitals = "R"},
    {.first = 0x15A, .last = 0x161, .capitals = "S"},
    {.first = 0x162, .last = 0x167, .capitals = "T"},
    {.first = 0x168, .last = 0x173, .capitals = "U"},
    {.first = 0x174, .last = 0x175, .capitals = "W"},
    {.first = 0x176, .last = 0x178, .capitals = "Y"},
    {.first = 0x179, .last = 0x17E, .capitals = "Z"},
    {.first = 0x17F, .last = 0x17F, .capitals = "S"},
};

constexpr char32_t kNotUtf8 = 0xFFFFFFFF;

// The code point at the front of `text`, and how many bytes it takes. A byte that
// starts no well-formed sequence (an overlong form, a surrogate, beyond U+10FFFF, a
// sequence cut short) is one byte of kNotUtf8.
struct Decoded {
    char32_t code = kNotUtf8;
    size_t bytes = 1;
};

Decoded DecodeFront(std::string_view text) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return {lead, 1};
    }
    size_t length = 0;
    char32_t code = 0;
    char32_t lowest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
        lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
        lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
        lowest = 0x10000;
    } else {
        return {};
    }
    if (text.size() < length) {
        return {};
    }
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0u) != 0x80) {
            return {};
        }
        code = code << 6 | (byte(i) & 0x3Fu);
    }
    if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return {};
    }
    return {code, length};
}

bool IsCombiningMark(char32_t code) {
    return code >= 0x300 && code <= 0x36F;
}

// The font characters a code point is drawn as: none when the font lacks it.
std::string_view DrawnAs(char32_t code) {
    if (code == ' ' || code == 0xA0) {
        return " ";
    }
    if (code < 0x80) {
        const auto capital =
            static_cast<char>(code >= 'a' && code <= 'z' ? code - 'a' + 'A' : code);
        const LabelGlyph* glyph = LabelFont.Find(capital);
        return glyph != nullptr ? std::string_view(&glyph->character, 1) : std::string_view();
    }
    for (const LatinFold& fold : kLatinFolds) {
        if (code >= fold.first && code <= fold.last) {
            return fold.capitals;
        }
    }
    return {};
}

} // namespace

std::string LabelDrawnText(std::string_view utf8) {
    std::string drawn;
    size_t characters = 0;
    while (!utf8.empty() && characters < kLabelMostCharacters) {
        const Decoded decoded = DecodeFront(utf8);
        utf8.remove_prefix(decoded.bytes);
        if (IsCombiningMark(decoded.code)) {
            continue;
        }
        ++characters;
        drawn += DrawnAs(decoded.code);
    }
    const size_t first = drawn.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return drawn.substr(first, drawn.find_last_not_of(' ') - first + 1);
}

int32_t LabelColumns(std::string_view drawn) {
    int32_t columns = 0;
    for (char c : drawn) {
        const LabelGlyph* glyph = LabelFont.Find(c);
        columns += glyph != nullptr ? glyph->width : kLabelSpaceWidth;
    }
    return drawn.empty() ? 0 : columns + kLabelSpacing * static_cast<int32_t>(drawn.size() - 1);
}

} // namespace lumivane
