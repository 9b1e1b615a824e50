#pragma once
// TWinDIB: the image buffer backed by the platform. Until its canvas is first
// asked for it keeps plain memory; from then on its pixels live in a DIB section
// selected into a memory device context of its own, so that the same bytes are
// the target of a screen copy and are addressed row by row by the renderers.
#include <windows.h>

#include <cstdint>
#include <memory>

#include "core/image/tdib.h"

namespace lumivane::windows {

// The drawing surface of a buffer: the buffer's memory device context. It does
// not own the context; the buffer moves it to the new context on every resize.
class TCanvas {
  public:
    // Null while the buffer is empty.
    HDC Handle() const { return dc_; }
    void SetPixel(int32_t x, int32_t y, uint32_t colour) const;

  private:
    friend class TWinDIB;
    HDC dc_ = nullptr;
};

class TWinDIB : public TDIB {
  public:
    TWinDIB();
    ~TWinDIB() override;

    // Backs the buffer by the platform on the first request (the picture is kept).
    // Throws Error "DIB cannot be made" and leaves the buffer as it was when the
    // DIB section cannot be created.
    TCanvas& Canvas();
    bool Backed() const { return backed_; }

    // Copies the whole buffer, unscaled, to (x, y) of `target`. Nothing for an
    // empty buffer.
    void Draw(HDC target, int32_t x, int32_t y);
    // Copies only the pixels of `part` (picture coordinates) of the buffer drawn at
    // (x, y): for a target that shows the rest already.
    void DrawPart(HDC target, int32_t x, int32_t y, const RECT& part);

  protected:
    std::unique_ptr<PixelStore> MakeStore(const BitmapInfoHeader& header) override;
    void Flush() override;
    void StoreReplaced(PixelStore* old, PixelStore* now) override;

  private:
    class DibStore;

    bool backed_ = false;
    DibStore* dib_ = nullptr; // the store, once backed
    std::unique_ptr<TCanvas> canvas_;
};

} // namespace lumivane::windows
