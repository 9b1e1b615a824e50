#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "core/error.h"
#include "core/image/tdib.h"
#include "core/image/visible_runs.h"

using lumivane::Error;
using lumivane::RGB;
using lumivane::TDIB;

namespace {

std::unique_ptr<TDIB> Sized(int32_t width, int32_t height) {
    auto dib = std::make_unique<TDIB>();
    dib->SetBitCount(24);
    dib->SetWidth(width);
    dib->SetHeight(height);
    return dib;
}

std::string ErrorText(TDIB& dib, int32_t row) {
    try {
        dib.ScanLine(row);
    } catch (const Error& error) {
        return error.what();
    }
    return "";
}

} // namespace

TEST(TDIBLayout, NewBufferIsEmptyAndRefusesRows) {
    TDIB dib;
    EXPECT_TRUE(dib.Empty());
    EXPECT_EQ(dib.Width(), 0);
    EXPECT_EQ(dib.Height(), 0);
    EXPECT_EQ(dib.BitCount(), 0);
    EXPECT_EQ(ErrorText(dib, 0), "Index of the scanning line exceeded the range. (0)");
}

TEST(TDIBLayout, BitCountOnEmptyBufferGivesOnePixel) {
    TDIB dib;
    dib.SetBitCount(24);
    EXPECT_FALSE(dib.Empty());
    EXPECT_EQ(dib.Width(), 1);
    EXPECT_EQ(dib.Height(), 1);
    EXPECT_EQ(dib.WidthBytes(), 4);
}

TEST(TDIBLayout, RowsArePaddedToFourBytes) {
    for (auto [width, bytes] : {std::pair{1, 4}, {2, 8}, {3, 12}, {4, 12}, {300, 900}}) {
        EXPECT_EQ(Sized(width, 2)->WidthBytes(), bytes) << "width " << width;
    }
    auto owned = Sized(95, 95);
    TDIB& dib = *owned;
    EXPECT_EQ(dib.WidthBytes(), 288);
    EXPECT_EQ(dib.SizeImage(), 27360u);
    EXPECT_EQ(dib.Header().biSizeImage, 27360u);
    EXPECT_EQ(dib.Header().biHeight, 95); // positive: bottom-up
    EXPECT_EQ(dib.Header().biBitCount, 24);
}

TEST(TDIBLayout, RowZeroIsTheLastRowInMemoryAndPixelsAreBlueGreenRed) {
    auto owned = Sized(5, 3);
    TDIB& dib = *owned;
    dib.PutPixel(0, 0, RGB(10, 20, 30));
    uint8_t* row0 = dib.ScanLine(0);
    EXPECT_EQ(row0[0], 30);
    EXPECT_EQ(row0[1], 20);
    EXPECT_EQ(row0[2], 10);
    EXPECT_EQ(dib.ScanLine(2) + 2 * dib.WidthBytes(), row0); // row 2 starts the memory
    EXPECT_EQ(dib.ScanLine(1) - dib.WidthBytes(), dib.ScanLine(2));
}

TEST(TDIBLayout, TopByteOfColourIsIgnored) {
    auto owned = Sized(2, 2);
    TDIB& dib = *owned;
    dib.PutPixel(1, 1, 0xFF030201u);
    const uint8_t* pixel = dib.ScanLine(1) + 3;
    EXPECT_EQ(pixel[0], 3);
    EXPECT_EQ(pixel[1], 2);
    EXPECT_EQ(pixel[2], 1);
}

TEST(TDIBBounds, PutPixelOutsideChangesNothing) {
    auto owned = Sized(4, 4);
    TDIB& dib = *owned;
    std::memset(dib.ScanLine(3), 0x11, dib.SizeImage());
    for (auto [x, y] : {std::pair{4, 0}, {0, 4}, {-1, 0}, {0, -1}, {-100000, 5}, {INT32_MAX, 0}}) {
        dib.PutPixel(x, y, RGB(255, 255, 255));
    }
    const uint8_t* bytes = dib.ScanLine(3);
    for (size_t i = 0; i < dib.SizeImage(); ++i) {
        ASSERT_EQ(bytes[i], 0x11) << "byte " << i;
    }
}

TEST(TDIBBounds, ScanLineOutsideNamesTheRow) {
    auto owned = Sized(4, 4);
    TDIB& dib = *owned;
    EXPECT_EQ(ErrorText(dib, 4), "Index of the scanning line exceeded the range. (4)");
    EXPECT_EQ(ErrorText(dib, -1), "Index of the scanning line exceeded the range. (-1)");
    EXPECT_EQ(ErrorText(dib, 3), "");
}

TEST(TDIBResize, SameSizeKeepsPixelsAndRowAddresses) {
    auto owned = Sized(7, 7);
    TDIB& dib = *owned;
    dib.PutPixel(3, 3, RGB(1, 2, 3));
    uint8_t* before = dib.ScanLine(0);
    dib.SetWidth(7);
    dib.SetHeight(7);
    EXPECT_EQ(dib.ScanLine(0), before);
    EXPECT_EQ(dib.ScanLine(3)[9], 3);
}

TEST(TDIBResize, NonPositiveSizeEmptiesAndSetSizeGrowsAgain) {
    auto owned = Sized(7, 7);
    TDIB& dib = *owned;
    dib.SetWidth(0);
    EXPECT_TRUE(dib.Empty());
    EXPECT_EQ(dib.Width(), 0);
    EXPECT_EQ(dib.Height(), 0);
    dib.SetSize(9, 9);
    EXPECT_EQ(dib.Width(), 9);
    EXPECT_EQ(dib.Height(), 9);
    EXPECT_EQ(dib.BitCount(), 24);
    dib.SetHeight(-5);
    EXPECT_TRUE(dib.Empty());
    dib.SetBitCount(0);
    EXPECT_TRUE(dib.Empty());
}

TEST(TDIBResize, ImpossibleSizeFailsAndLeavesTheBufferAsItWas) {
    auto owned = Sized(3, 3);
    TDIB& dib = *owned;
    dib.PutPixel(1, 1, RGB(9, 8, 7));
    uint8_t* row = dib.ScanLine(1);
    EXPECT_THROW(dib.SetWidth(INT32_MAX), Error);
    EXPECT_EQ(dib.Width(), 3);
    EXPECT_EQ(dib.Height(), 3);
    EXPECT_EQ(dib.ScanLine(1), row);
    EXPECT_EQ(row[5], 9);
}

TEST(VisibleRuns, GivesTheNonBlackPixelsOfEachRowWithinTheMask) {
    using lumivane::PixelRun;
    auto dib = Sized(6, 3);
    for (int32_t y = 0; y < 3; ++y) {
        std::memset(dib->ScanLine(y), 0, static_cast<size_t>(dib->WidthBytes()));
    }
    dib->PutPixel(0, 0, RGB(1, 0, 0));
    dib->PutPixel(1, 0, RGB(0, 0, 9));
    dib->PutPixel(3, 0, RGB(0, 1, 0));
    dib->PutPixel(5, 2, RGB(255, 255, 255));
    std::vector<PixelRun> runs;
    lumivane::VisibleRuns(*dib, nullptr, runs);
    EXPECT_EQ(runs, (std::vector<PixelRun>{{0, 0, 2}, {0, 3, 1}, {2, 5, 1}}));

    std::vector<uint8_t> mask(18, 1);
    mask[1] = 0; // (1, 0)
    lumivane::VisibleRuns(*dib, &mask, runs);
    EXPECT_EQ(runs, (std::vector<PixelRun>{{0, 0, 1}, {0, 3, 1}, {2, 5, 1}}));

    mask.pop_back(); // a mask of another size marks nothing
    lumivane::VisibleRuns(*dib, &mask, runs);
    EXPECT_TRUE(runs.empty());
}
