#include "core/image/tdib.h"

#include <cstring>
#include <limits>
#include <new>

#include "core/error.h"

namespace lumivane {

namespace {

class PlainStore final : public PixelStore {
  public:
    explicit PlainStore(size_t bytes) : bits_(new uint8_t[bytes]) {}
    uint8_t* Bits() override { return bits_.get(); }

  private:
    std::unique_ptr<uint8_t[]> bits_;
};

// Largest pixel memory a buffer may ask for; beyond it the request counts as out of memory.
constexpr int64_t kMaxImageBytes = std::numeric_limits<int32_t>::max();

} // namespace

TDIB::TDIB() = default;
TDIB::~TDIB() = default;

void TDIB::SetBitCount(int32_t bitCount) {
    if (bitCount <= 0) {
        MakeEmpty();
        bitCount_ = bitCount < 0 ? 0 : bitCount;
        return;
    }
    if (Empty()) {
        Resize(width_ > 1 ? width_ : 1, height_ > 1 ? height_ : 1, bitCount);
    } else {
        Resize(width_, height_, bitCount);
    }
}

void TDIB::SetWidth(int32_t width) {
    Resize(width, height_, bitCount_);
}
void TDIB::SetHeight(int32_t height) {
    Resize(width_, height, bitCount_);
}
void TDIB::SetSize(int32_t width, int32_t height) {
    Resize(width, height, bitCount_);
}

void TDIB::Resize(int32_t width, int32_t height, int32_t bitCount) {
    if (width == width_ && height == height_ && bitCount == bitCount_ && !Empty()) {
        return;
    }
    if (width <= 0 || height <= 0 || bitCount <= 0) {
        MakeEmpty();
        bitCount_ = bitCount > 0 ? bitCount : bitCount_;
        return;
    }
    const int64_t rowBytes = RowBytes(bitCount, width);
    const int64_t imageBytes = rowBytes * height;
    if (rowBytes > kMaxImageBytes || imageBytes > kMaxImageBytes) {
        throw Error("Out of memory");
    }
    BitmapInfoHeader header;
    header.biWidth = width;
    header.biHeight = height;
    header.biBitCount = static_cast<uint16_t>(bitCount);
    header.biSizeImage = static_cast<uint32_t>(imageBytes);

    // Built completely before anything is replaced, so a failure leaves the buffer as it was.
    std::unique_ptr<PixelStore> fresh = MakeStore(header);
    std::unique_ptr<PixelStore> old = std::move(store_);
    store_ = std::move(fresh);
    header_ = header;
    TakeGeometry(header);
    StoreReplaced(old.get(), store_.get());
}

std::unique_ptr<PixelStore> TDIB::MakeStore(const BitmapInfoHeader& header) {
    try {
        return std::make_unique<PlainStore>(header.biSizeImage);
    } catch (const std::bad_alloc&) {
        throw Error("Out of memory");
    }
}

void TDIB::StoreReplaced(PixelStore*, PixelStore*) {}

void TDIB::AdoptStore(std::unique_ptr<PixelStore> store) {
    std::unique_ptr<PixelStore> old = std::move(store_);
    store_ = std::move(store);
    TakeGeometry(header_);
    StoreReplaced(old.get(), store_.get());
}

void TDIB::MakeEmpty() {
    std::unique_ptr<PixelStore> old = std::move(store_);
    header_ = BitmapInfoHeader{};
    width_ = height_ = widthBytes_ = 0;
    sizeImage_ = 0;
    rowZero_ = nullptr;
    StoreReplaced(old.get(), nullptr);
}

void TDIB::TakeGeometry(const BitmapInfoHeader& header) {
    width_ = header.biWidth;
    height_ = header.biHeight;
    bitCount_ = header.biBitCount;
    widthBytes_ = static_cast<int32_t>(RowBytes(bitCount_, width_));
    sizeImage_ = static_cast<size_t>(widthBytes_) * static_cast<size_t>(height_);
    // Bottom-up: row 0 is the last row in memory.
    rowZero_ = store_ ? store_->Bits() + sizeImage_ - widthBytes_ : nullptr;
}

uint8_t* TDIB::ScanLine(int32_t y) {
    if (y < 0 || y >= height_) {
        throw Error(FormatText("Index of the scanning line exceeded the range. (%d)", y));
    }
    Flush();
    return Row(y);
}

void TDIB::PutPixel(int32_t x, int32_t y, uint32_t colour) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_ || bitCount_ != 24) {
        return;
    }
    uint8_t* pixel = Row(y) + 3 * static_cast<ptrdiff_t>(x);
    pixel[0] = static_cast<uint8_t>(colour >> 16);
    pixel[1] = static_cast<uint8_t>(colour >> 8);
    pixel[2] = static_cast<uint8_t>(colour);
}

uint32_t TDIB::Pixel(int32_t x, int32_t y) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_ || bitCount_ != 24) {
        return 0;
    }
    const uint8_t* pixel = Row(y) + 3 * static_cast<ptrdiff_t>(x);
    return static_cast<uint32_t>(pixel[0]) << 16 | static_cast<uint32_t>(pixel[1]) << 8 | pixel[2];
}

void TDIB::Blacken() {
    if (!Empty()) {
        Flush();
        std::memset(store_->Bits(), 0, sizeImage_);
    }
}

} // namespace lumivane
