#pragma once
// Desktop pictures for the renderer's tests, made in code so that every build gets
// the same bytes: integer arithmetic and a fixed LCG only (the standard library's
// distributions differ between implementations).
#include <cstdint>
#include <string_view>
#include <vector>

#include "tools/render/image_io.h"

namespace lumivane::test {

inline RgbImage FlatDesktop(int32_t width, int32_t height, uint8_t red, uint8_t green,
                            uint8_t blue) {
    RgbImage image(width, height);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* pixel = image.At(x, y);
            pixel[0] = red;
            pixel[1] = green;
            pixel[2] = blue;
        }
    }
    return image;
}

// Red grows to the right, green downwards, blue along the diagonal.
inline RgbImage GradientDesktop(int32_t width, int32_t height) {
    RgbImage image(width, height);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* pixel = image.At(x, y);
            pixel[0] = static_cast<uint8_t>(x * 255 / (width - 1));
            pixel[1] = static_cast<uint8_t>(y * 255 / (height - 1));
            pixel[2] = static_cast<uint8_t>((x + y) * 255 / (width + height - 2));
        }
    }
    return image;
}

// Black and white squares, white at the top-left: the disc then holds pure black,
// which the frame shows as transparent.
inline RgbImage CheckerDesktop(int32_t width, int32_t height, int32_t square) {
    RgbImage image(width, height);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t level = ((x / square + y / square) % 2 == 0) ? 255 : 0;
            uint8_t* pixel = image.At(x, y);
            pixel[0] = pixel[1] = pixel[2] = level;
        }
    }
    return image;
}

// Knuth's MMIX LCG; the top byte of each state is one channel.
inline RgbImage NoiseDesktop(int32_t width, int32_t height, uint64_t seed) {
    RgbImage image(width, height);
    uint64_t state = seed;
    for (uint8_t& channel : image.pixels) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        channel = static_cast<uint8_t>(state >> 56);
    }
    return image;
}

inline uint64_t Fnv1a64(const uint8_t* bytes, size_t count) {
    uint64_t hash = 0xcbf29ce484222325u;
    for (size_t i = 0; i < count; ++i) {
        hash ^= bytes[i];
        hash *= 0x100000001b3u;
    }
    return hash;
}

inline uint64_t Fnv1a64(const std::vector<uint8_t>& bytes) {
    return Fnv1a64(bytes.data(), bytes.size());
}

inline uint64_t Fnv1a64(std::string_view text) {
    return Fnv1a64(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

} // namespace lumivane::test
