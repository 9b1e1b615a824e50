#include "windows/dib.h"

#include <cstring>

#include "core/error.h"
#include "windows/handles.h"

namespace lumivane::windows {

static_assert(sizeof(BitmapInfoHeader) == sizeof(BITMAPINFOHEADER));

namespace {

BITMAPINFO PlatformHeader(const BitmapInfoHeader& header) {
    BITMAPINFO info{};
    std::memcpy(&info.bmiHeader, &header, sizeof info.bmiHeader);
    return info;
}

} // namespace

// Pixel memory that the platform draws into: a DIB section selected into a
// memory device context of its own. Members go in reverse order: the previous
// bitmap is selected back, then the section is deleted, then the context.
class TWinDIB::DibStore final : public PixelStore {
  public:
    explicit DibStore(const BitmapInfoHeader& header) : dc_(CreateCompatibleDC(nullptr)) {
        const BITMAPINFO info = PlatformHeader(header);
        void* bits = nullptr;
        if (dc_) {
            section_ = GdiObject<HBITMAP>(
                CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        }
        if (section_ && bits != nullptr) {
            selection_ = Selection(dc_.get(), section_.get());
        }
        if (!selection_) {
            throw Error(FormatText(kCannotBeMade, "DIB"));
        }
        bits_ = static_cast<uint8_t*>(bits);
    }

    uint8_t* Bits() override { return bits_; }
    HDC Dc() const { return dc_.get(); }

  private:
    MemoryDC dc_;
    GdiObject<HBITMAP> section_;
    Selection selection_;
    uint8_t* bits_ = nullptr;
};

void TCanvas::SetPixel(int32_t x, int32_t y, uint32_t colour) const {
    if (dc_ != nullptr) {
        ::SetPixel(dc_, x, y, colour);
    }
}

TWinDIB::TWinDIB() = default;

TWinDIB::~TWinDIB() {
    if (canvas_) {
        canvas_->dc_ = nullptr;
    }
}

TCanvas& TWinDIB::Canvas() {
    if (canvas_) {
        return *canvas_;
    }
    auto canvas = std::make_unique<TCanvas>();
    if (Empty()) {
        // Nothing to copy yet; the next positive size gets a DIB section.
        canvas_ = std::move(canvas);
        backed_ = true;
        return *canvas_;
    }
    auto store = std::make_unique<DibStore>(Header());
    std::memcpy(store->Bits(), Store()->Bits(), SizeImage());
    canvas_ = std::move(canvas);
    backed_ = true;
    AdoptStore(std::move(store));
    return *canvas_;
}

std::unique_ptr<PixelStore> TWinDIB::MakeStore(const BitmapInfoHeader& header) {
    if (backed_) {
        return std::make_unique<DibStore>(header);
    }
    return TDIB::MakeStore(header);
}

void TWinDIB::Flush() {
    if (backed_) {
        GdiFlush();
    }
}

void TWinDIB::StoreReplaced(PixelStore*, PixelStore* now) {
    // Once backed, every store is made by MakeStore as a DIB section.
    dib_ = backed_ ? static_cast<DibStore*>(now) : nullptr;
    if (canvas_) {
        canvas_->dc_ = dib_ != nullptr ? dib_->Dc() : nullptr;
    }
}

void TWinDIB::Draw(HDC target, int32_t x, int32_t y) {
    if (Empty()) {
        return;
    }
    const StretchMode mode(target, COLORONCOLOR);
    GdiFlush();
    const int32_t width = Width();
    const int32_t height = Height();
    if (dib_ != nullptr) {
        StretchBlt(target, x, y, width, height, dib_->Dc(), 0, 0, width, height, SRCCOPY);
    } else {
        const BITMAPINFO info = PlatformHeader(Header());
        StretchDIBits(target, x, y, width, height, 0, 0, width, height, Store()->Bits(), &info,
                      DIB_RGB_COLORS, SRCCOPY);
    }
}

void TWinDIB::DrawPart(HDC target, int32_t x, int32_t y, const RECT& part) {
    RECT inside{};
    const RECT whole{0, 0, Width(), Height()};
    if (Empty() || !IntersectRect(&inside, &part, &whole)) {
        return;
    }
    const int32_t width = inside.right - inside.left;
    const int32_t height = inside.bottom - inside.top;
    GdiFlush();
    if (dib_ != nullptr) {
        BitBlt(target, x + inside.left, y + inside.top, width, height, dib_->Dc(), inside.left,
               inside.top, SRCCOPY);
    } else {
        // The rows of a picture in memory go bottom-up: its source rectangle is
        // measured from the bottom row.
        const BITMAPINFO info = PlatformHeader(Header());
        StretchDIBits(target, x + inside.left, y + inside.top, width, height, inside.left,
                      Height() - inside.bottom, width, height, Store()->Bits(), &info,
                      DIB_RGB_COLORS, SRCCOPY);
    }
}

} // namespace lumivane::windows
