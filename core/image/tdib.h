#pragma once
// TDIB: a 24-bit device-independent bitmap, stored bottom-up with 4-byte aligned
// rows so that the same bytes can back a Windows DIB section unchanged.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace lumivane {

// Same layout as the platform's BITMAPINFOHEADER (40 bytes).
struct BitmapInfoHeader {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0; // positive: bottom-up
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0; // BI_RGB
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

// Platform colour value 0x00BBGGRR. The name is in parentheses so that the
// platform header's RGB macro, where it is seen first, does not expand here.
constexpr uint32_t(RGB)(uint32_t r, uint32_t g, uint32_t b) {
    return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16);
}

// Bytes per stored row: rows start on 4-byte boundaries.
constexpr int64_t RowBytes(int64_t bitCount, int64_t width) {
    return (bitCount * width + 31) / 32 * 4;
}

// Where a buffer's pixels live: plain memory, or memory the platform draws into.
class PixelStore {
  public:
    virtual ~PixelStore() = default;
    virtual uint8_t* Bits() = 0;
};

class TDIB {
  public:
    TDIB();
    virtual ~TDIB();
    TDIB(const TDIB&) = delete;
    TDIB& operator=(const TDIB&) = delete;

    bool Empty() const { return store_ == nullptr; }
    int32_t Height() const { return height_; }
    int32_t Width() const { return width_; }
    void SetHeight(int32_t height);
    void SetWidth(int32_t width);

    void SetBitCount(int32_t bitCount);
    // Both sides at once; lets an emptied buffer grow again (SetWidth alone
    // would pair the new width with a height of 0).
    void SetSize(int32_t width, int32_t height);

    int32_t BitCount() const { return bitCount_; }
    int32_t WidthBytes() const { return widthBytes_; }
    size_t SizeImage() const { return sizeImage_; }
    const BitmapInfoHeader& Header() const { return header_; }

    // Address of byte 0 of row y (row 0 is the top row). Throws for rows outside.
    uint8_t* ScanLine(int32_t y);
    // Writes colour 0x00BBGGRR at (x, y); coordinates outside are ignored.
    void PutPixel(int32_t x, int32_t y, uint32_t colour);
    // Colour 0x00BBGGRR at (x, y); 0 (black) where PutPixel would not write.
    uint32_t Pixel(int32_t x, int32_t y);
    // Every pixel black.
    void Blacken();

    // Row pointer without the range check or flush, for renderers that already
    // know the row exists and that no platform drawing is pending.
    uint8_t* Row(int32_t y) { return rowZero_ - static_cast<ptrdiff_t>(y) * widthBytes_; }

  protected:
    // Builds the store for a new size; the platform buffer overrides this once backed.
    virtual std::unique_ptr<PixelStore> MakeStore(const BitmapInfoHeader& header);
    // Lets platform drawing that is still queued reach the pixels.
    virtual void Flush() {}
    // Called after a new store has replaced the old one (still alive in `old`).
    virtual void StoreReplaced(PixelStore* old, PixelStore* now);

    PixelStore* Store() { return store_.get(); }
    // Swaps in a store holding the same picture (used when the buffer gets backed).
    void AdoptStore(std::unique_ptr<PixelStore> store);

  private:
    void Resize(int32_t width, int32_t height, int32_t bitCount);
    void MakeEmpty();
    void TakeGeometry(const BitmapInfoHeader& header);

    std::unique_ptr<PixelStore> store_;
    BitmapInfoHeader header_{};
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t bitCount_ = 0;
    int32_t widthBytes_ = 0;
    size_t sizeImage_ = 0;
    uint8_t* rowZero_ = nullptr;
};

} // namespace lumivane
