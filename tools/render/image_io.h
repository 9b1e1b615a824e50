#pragma once
// Image files for lumivane-render and the golden tests: binary PPM everywhere, PNG
// where libpng is available. Every failure throws lumivane::Error with a one-line text
// that names the file.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/image/tdib.h"

namespace lumivane {

// 8-bit RGB pixels, red first, top row first, rows not padded.
struct RgbImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;

    RgbImage() = default;
    RgbImage(int32_t w, int32_t h); // black

    uint8_t* At(int32_t x, int32_t y) {
        return pixels.data() + (static_cast<size_t>(y) * width + x) * 3;
    }
    const uint8_t* At(int32_t x, int32_t y) const {
        return pixels.data() + (static_cast<size_t>(y) * width + x) * 3;
    }
    friend bool operator==(const RgbImage&, const RgbImage&) = default;
};

// Limits that keep a hostile header from asking for gigabytes: an 8K desktop is
// 33 million pixels, well inside.
constexpr int32_t kMaxImageSide = 32768;
constexpr int64_t kMaxImagePixels = int64_t{64} * 1024 * 1024;

enum class ImageFormat { Ppm, Png };

// The format named by the path's extension (.ppm or .png, any case); throws otherwise.
ImageFormat FormatOfPath(const std::string& path);

// False where the build has no PNG support.
bool PngSupported();
constexpr std::string_view kPngUnsupported =
    "PNG images are not supported by this build (use .ppm)";

// Throws when the path's extension is unknown or names a format this build lacks.
void RequireSupportedFormat(const std::string& path);

// `name` only labels the error messages.
RgbImage DecodePpm(std::string_view bytes, const std::string& name);
std::string EncodePpm(const RgbImage& image);

RgbImage ReadPpmFile(const std::string& path);
void WritePpmFile(const std::string& path, const RgbImage& image);
RgbImage ReadPngFile(const std::string& path);
void WritePngFile(const std::string& path, const RgbImage& image);

// By extension.
RgbImage ReadImage(const std::string& path);
void WriteImage(const std::string& path, const RgbImage& image);

// The picture of a 24-bit TDIB (bytes blue, green, red) and back.
RgbImage ImageFromTDIB(TDIB& dib);
void ImageToTDIB(const RgbImage& image, TDIB& dib);

} // namespace lumivane
