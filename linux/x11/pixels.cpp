#include "linux/x11/pixels.h"

#include <X11/Xutil.h>

#include <algorithm>
#include <bit>

namespace lumivane::x11 {

namespace {

// The usual layout of 24- and 32-bit visuals: bytes blue, green, red, (alpha).
bool PlainLayout(const XImage& image) {
    return image.bits_per_pixel == 32 && image.byte_order == LSBFirst &&
           image.red_mask == 0xFF0000 && image.green_mask == 0xFF00 && image.blue_mask == 0xFF;
}

uint32_t Channel(unsigned long pixel, unsigned long mask) {
    if (mask == 0) {
        return 0;
    }
    const int shift = std::countr_zero(mask);
    const int bits = std::popcount(mask);
    const unsigned long value = (pixel & mask) >> shift;
    if (bits >= 8) {
        return static_cast<uint32_t>(value >> (bits - 8));
    }
    return static_cast<uint32_t>(value * 255 / ((1UL << bits) - 1));
}

uint8_t Over(uint32_t source, uint32_t alpha, uint8_t below) {
    return static_cast<uint8_t>(
        std::min<uint32_t>(255, source + (below * (255 - alpha) + 127) / 255));
}

} // namespace

void CopyToBuffer(const XImage& image, Rect area, TDIB& target, int32_t targetX, int32_t targetY,
                  bool over) {
    const bool plain = PlainLayout(image);
    if (plain && !over) {
        for (int32_t row = 0; row < area.Height(); ++row) {
            uint8_t* out = target.Row(targetY + row) + static_cast<ptrdiff_t>(targetX) * 3;
            const auto* in = reinterpret_cast<const uint8_t*>(image.data) +
                             static_cast<ptrdiff_t>(area.top + row) * image.bytes_per_line +
                             static_cast<ptrdiff_t>(area.left) * 4;
            for (int32_t column = 0; column < area.Width(); ++column) {
                out[3 * column] = in[4 * column];
                out[3 * column + 1] = in[4 * column + 1];
                out[3 * column + 2] = in[4 * column + 2];
            }
        }
        return;
    }
    for (int32_t row = 0; row < area.Height(); ++row) {
        uint8_t* out = target.Row(targetY + row) + static_cast<ptrdiff_t>(targetX) * 3;
        const auto* in = reinterpret_cast<const uint8_t*>(image.data) +
                         static_cast<ptrdiff_t>(area.top + row) * image.bytes_per_line +
                         static_cast<ptrdiff_t>(area.left) * 4;
        for (int32_t column = 0; column < area.Width(); ++column, out += 3) {
            uint32_t blue, green, red, alpha = 255;
            if (plain) {
                blue = in[0];
                green = in[1];
                red = in[2];
                alpha = in[3];
                in += 4;
            } else {
                const unsigned long pixel =
                    XGetPixel(const_cast<XImage*>(&image), area.left + column, area.top + row);
                red = Channel(pixel, image.red_mask);
                green = Channel(pixel, image.green_mask);
                blue = Channel(pixel, image.blue_mask);
                const unsigned long rest = ~(image.red_mask | image.green_mask | image.blue_mask);
                alpha = image.depth == 32 ? Channel(pixel, rest & 0xFFFFFFFFUL) : 255;
            }
            if (over && alpha != 255) {
                out[0] = Over(blue, alpha, out[0]);
                out[1] = Over(green, alpha, out[1]);
                out[2] = Over(red, alpha, out[2]);
            } else {
                out[0] = static_cast<uint8_t>(blue);
                out[1] = static_cast<uint8_t>(green);
                out[2] = static_cast<uint8_t>(red);
            }
        }
    }
}

void CopyFromBuffer(TDIB& frame, XImage& image, Rect part) {
    if (PlainLayout(image)) {
        for (int32_t y = part.top; y < part.bottom; ++y) {
            const uint8_t* in = frame.Row(y);
            auto* out = reinterpret_cast<uint32_t*>(image.data + static_cast<ptrdiff_t>(y) *
                                                                     image.bytes_per_line);
            for (int32_t x = part.left; x < part.right; ++x) {
                out[x] =
                    in[3 * x] | in[3 * x + 1] << 8 | static_cast<uint32_t>(in[3 * x + 2]) << 16;
            }
        }
        return;
    }
    for (int32_t y = part.top; y < part.bottom; ++y) {
        const uint8_t* in = frame.Row(y) + 3 * static_cast<ptrdiff_t>(part.left);
        for (int32_t x = part.left; x < part.right; ++x, in += 3) {
            const auto scale = [](uint32_t value, unsigned long mask) -> unsigned long {
                if (mask == 0) {
                    return 0;
                }
                const int bits = std::popcount(mask);
                const unsigned long top = bits >= 8 ? value << (bits - 8) : value >> (8 - bits);
                return (top << std::countr_zero(mask)) & mask;
            };
            XPutPixel(&image, x, y,
                      scale(in[2], image.red_mask) | scale(in[1], image.green_mask) |
                          scale(in[0], image.blue_mask));
        }
    }
}

} // namespace lumivane::x11
