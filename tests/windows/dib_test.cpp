// The image buffer's platform backing: the DIB section behind Canvas, and Draw.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/error.h"
#include "windows/dib.h"
#include "windows/handles.h"

using lumivane::windows::GdiObject;
using lumivane::windows::TWinDIB;

namespace {

void Size(TWinDIB& dib, int32_t width, int32_t height) {
    dib.SetBitCount(24);
    dib.SetWidth(width);
    dib.SetHeight(height);
}

struct Bgr {
    uint8_t blue, green, red;
    friend bool operator==(const Bgr&, const Bgr&) = default;
};

Bgr PixelAt(TWinDIB& dib, int32_t x, int32_t y) {
    const uint8_t* pixel = dib.ScanLine(y) + 3 * x;
    return {pixel[0], pixel[1], pixel[2]};
}

// Every pixel of the picture, row by row, without the row padding.
std::vector<uint8_t> Picture(TWinDIB& dib) {
    std::vector<uint8_t> bytes;
    for (int32_t y = 0; y < dib.Height(); ++y) {
        const uint8_t* row = dib.ScanLine(y);
        bytes.insert(bytes.end(), row, row + 3 * dib.Width());
    }
    return bytes;
}

void FillPattern(TWinDIB& dib, uint32_t seed) {
    for (int32_t y = 0; y < dib.Height(); ++y) {
        for (int32_t x = 0; x < dib.Width(); ++x) {
            const uint32_t n = seed + static_cast<uint32_t>(y * 31 + x * 7);
            dib.PutPixel(x, y, RGB(n * 3 + 1, n * 5 + 2, n * 11 + 3));
        }
    }
}

void FillRectOn(HDC dc, RECT rect, COLORREF colour) {
    const GdiObject<HBRUSH> brush(CreateSolidBrush(colour));
    FillRect(dc, &rect, brush.get());
}

// The size of the bitmap selected into a device context.
SIZE SelectedBitmapSize(HDC dc) {
    BITMAP bitmap{};
    GetObjectW(GetCurrentObject(dc, OBJ_BITMAP), sizeof bitmap, &bitmap);
    return {bitmap.bmWidth, bitmap.bmHeight};
}

} // namespace

TEST(TWinDIBCanvas, DrawingThroughCanvasShowsThroughScanLine) {
    TWinDIB dib;
    Size(dib, 10, 6);
    HDC dc = dib.Canvas().Handle();
    ASSERT_NE(dc, nullptr);
    FillRectOn(dc, {2, 1, 5, 3}, RGB(200, 100, 50)); // columns 2..4, rows 1..2
    dib.Canvas().SetPixel(9, 5, RGB(1, 2, 3));

    EXPECT_EQ(PixelAt(dib, 2, 1), (Bgr{50, 100, 200}));
    EXPECT_EQ(PixelAt(dib, 4, 2), (Bgr{50, 100, 200}));
    EXPECT_NE(PixelAt(dib, 5, 2), (Bgr{50, 100, 200}));
    EXPECT_NE(PixelAt(dib, 2, 3), (Bgr{50, 100, 200}));
    EXPECT_EQ(PixelAt(dib, 9, 5), (Bgr{3, 2, 1}));
}

TEST(TWinDIBCanvas, FirstRequestKeepsThePicture) {
    TWinDIB dib;
    Size(dib, 13, 7);
    FillPattern(dib, 5);
    const std::vector<uint8_t> before = Picture(dib);
    EXPECT_FALSE(dib.Backed());

    dib.Canvas();

    EXPECT_TRUE(dib.Backed());
    EXPECT_EQ(dib.Width(), 13);
    EXPECT_EQ(dib.Height(), 7);
    EXPECT_EQ(Picture(dib), before);
    // The picture is now the DIB section the canvas draws on.
    const SIZE selected = SelectedBitmapSize(dib.Canvas().Handle());
    EXPECT_EQ(selected.cx, 13);
    EXPECT_EQ(selected.cy, 7);
}

TEST(TWinDIBCanvas, LaterRequestsGiveTheSameCanvas) {
    TWinDIB dib;
    Size(dib, 4, 4);
    lumivane::windows::TCanvas& first = dib.Canvas();
    HDC dc = first.Handle();
    EXPECT_EQ(&dib.Canvas(), &first);
    EXPECT_EQ(dib.Canvas().Handle(), dc);
}

TEST(TWinDIBCanvas, ResizeOfBackedBufferStaysBackedWithANewSection) {
    TWinDIB dib;
    Size(dib, 8, 8);
    lumivane::windows::TCanvas& canvas = dib.Canvas();
    HDC oldDc = canvas.Handle();

    dib.SetWidth(20);
    dib.SetHeight(12);

    EXPECT_TRUE(dib.Backed());
    EXPECT_EQ(&dib.Canvas(), &canvas); // the same canvas, moved to the new context
    HDC dc = canvas.Handle();
    ASSERT_NE(dc, nullptr);
    EXPECT_NE(dc, oldDc);
    const SIZE selected = SelectedBitmapSize(dc);
    EXPECT_EQ(selected.cx, 20);
    EXPECT_EQ(selected.cy, 12);
    EXPECT_EQ(dib.WidthBytes(), 60);

    FillRectOn(dc, {19, 11, 20, 12}, RGB(7, 8, 9));
    EXPECT_EQ(PixelAt(dib, 19, 11), (Bgr{9, 8, 7}));
    dib.PutPixel(0, 0, RGB(40, 50, 60));
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(40, 50, 60)); // row 0 is the top row for GDI too
}

TEST(TWinDIBCanvas, EmptyBufferIsBackedFromItsFirstSize) {
    TWinDIB dib;
    lumivane::windows::TCanvas& canvas = dib.Canvas();
    EXPECT_EQ(canvas.Handle(), nullptr);
    canvas.SetPixel(0, 0, RGB(1, 1, 1)); // no context yet: ignored

    dib.SetBitCount(24);
    dib.SetSize(3, 2);

    ASSERT_NE(canvas.Handle(), nullptr);
    const SIZE selected = SelectedBitmapSize(canvas.Handle());
    EXPECT_EQ(selected.cx, 3);
    EXPECT_EQ(selected.cy, 2);
    // Emptied again, the canvas has no context until the next positive size.
    dib.SetWidth(0);
    EXPECT_TRUE(dib.Empty());
    EXPECT_EQ(canvas.Handle(), nullptr);
}

TEST(TWinDIBCanvas, SectionThatCannotBeMadeLeavesTheBufferAsItWas) {
    if constexpr (sizeof(void*) > 4) {
        GTEST_SKIP() << "a 64-bit process can map a section of 2 GB; the 32-bit build checks this";
    }
    TWinDIB dib;
    Size(dib, 2, 2);
    FillPattern(dib, 9);
    HDC dc = dib.Canvas().Handle();
    const std::vector<uint8_t> before = Picture(dib);

    // 268,435,000 rows of 8 bytes: just within what a buffer may ask for, more
    // than a 32-bit process can map.
    std::string message;
    try {
        dib.SetHeight(268435000);
    } catch (const lumivane::Error& error) {
        message = error.what();
    }

    EXPECT_EQ(message, "DIB cannot be made");
    EXPECT_EQ(dib.Width(), 2);
    EXPECT_EQ(dib.Height(), 2);
    EXPECT_EQ(dib.Canvas().Handle(), dc);
    EXPECT_EQ(Picture(dib), before);
}

TEST(TWinDIBDraw, CopiesPlainAndBackedBuffersExactly) {
    for (bool backSource : {false, true}) {
        TWinDIB source;
        Size(source, 3, 2);
        FillPattern(source, 1);
        if (backSource) {
            source.Canvas();
        }
        TWinDIB target;
        Size(target, 8, 5);
        HDC dc = target.Canvas().Handle();
        FillRectOn(dc, {0, 0, 8, 5}, RGB(17, 34, 51));

        source.Draw(dc, 4, 2);

        for (int32_t y = 0; y < 5; ++y) {
            for (int32_t x = 0; x < 8; ++x) {
                const bool inside = x >= 4 && x < 7 && y >= 2 && y < 4;
                const Bgr expected = inside ? PixelAt(source, x - 4, y - 2) : Bgr{51, 34, 17};
                EXPECT_EQ(PixelAt(target, x, y), expected)
                    << "pixel " << x << "," << y << (backSource ? " backed" : " plain");
            }
        }
    }
}

TEST(TWinDIBDraw, RestoresTheTargetsStretchMode) {
    TWinDIB source;
    Size(source, 2, 2);
    TWinDIB target;
    Size(target, 4, 4);
    HDC dc = target.Canvas().Handle();
    SetStretchBltMode(dc, HALFTONE);

    source.Draw(dc, 0, 0);
    EXPECT_EQ(GetStretchBltMode(dc), HALFTONE);
    source.Canvas();
    source.Draw(dc, 1, 1);
    EXPECT_EQ(GetStretchBltMode(dc), HALFTONE);
}

TEST(TWinDIBDraw, EmptyBufferDrawsNothing) {
    TWinDIB source;
    TWinDIB target;
    Size(target, 4, 4);
    HDC dc = target.Canvas().Handle();
    FillRectOn(dc, {0, 0, 4, 4}, RGB(9, 9, 9));
    SetStretchBltMode(dc, BLACKONWHITE);

    source.Draw(dc, 0, 0);

    EXPECT_EQ(GetStretchBltMode(dc), BLACKONWHITE);
    for (int32_t y = 0; y < 4; ++y) {
        for (int32_t x = 0; x < 4; ++x) {
            EXPECT_EQ(PixelAt(target, x, y), (Bgr{9, 9, 9}));
        }
    }
}

TEST(TWinDIBDraw, PartCopiesOnlyItsPixelsToTheirPlace) {
    // Parts within, across the edge of and outside the picture, of a buffer in plain
    // memory (its rows bottom-up) and of one backed by a DIB section.
    struct PartCase {
        RECT part;
        bool backSource;
        RECT changed; // target pixels that take the source's, drawn at (4, 2)
    };
    const PartCase cases[] = {
        {{1, 1, 2, 2}, true, {5, 3, 6, 4}},   {{0, 0, 3, 1}, true, {4, 2, 7, 3}},
        {{2, -5, 9, 1}, true, {6, 2, 7, 3}},  {{3, 0, 5, 2}, true, {0, 0, 0, 0}},
        {{1, 1, 2, 2}, false, {5, 3, 6, 4}},  {{0, 0, 3, 1}, false, {4, 2, 7, 3}},
        {{2, -5, 9, 1}, false, {6, 2, 7, 3}}, {{-1, -1, 0, 2}, false, {0, 0, 0, 0}},
    };
    for (const PartCase& c : cases) {
        TWinDIB source;
        Size(source, 3, 2);
        FillPattern(source, 5);
        if (c.backSource) {
            source.Canvas();
        }
        TWinDIB target;
        Size(target, 8, 5);
        HDC dc = target.Canvas().Handle();
        FillRectOn(dc, {0, 0, 8, 5}, RGB(17, 34, 51));

        source.DrawPart(dc, 4, 2, c.part);

        for (int32_t y = 0; y < 5; ++y) {
            for (int32_t x = 0; x < 8; ++x) {
                const POINT point{x, y};
                const Bgr expected =
                    PtInRect(&c.changed, point) ? PixelAt(source, x - 4, y - 2) : Bgr{51, 34, 17};
                EXPECT_EQ(PixelAt(target, x, y), expected)
                    << "pixel " << x << "," << y << " of part " << c.part.left << "," << c.part.top
                    << (c.backSource ? " backed" : " plain");
            }
        }
    }
}
