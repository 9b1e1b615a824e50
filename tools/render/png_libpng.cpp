// PNG through libpng's simplified interface, which keeps libpng's longjmp-based error
// handling inside libpng: no C++ frame is ever jumped over.
#include <png.h>

#include <cstring>

#include "core/error.h"
#include "tools/render/image_io.h"

namespace lumivane {

namespace {

// Frees libpng's read state on every path out.
class PngImage {
  public:
    PngImage() {
        std::memset(&image_, 0, sizeof image_);
        image_.version = PNG_IMAGE_VERSION;
    }
    ~PngImage() { png_image_free(&image_); }
    PngImage(const PngImage&) = delete;
    PngImage& operator=(const PngImage&) = delete;

    png_image* operator->() { return &image_; }
    png_image* get() { return &image_; }

  private:
    png_image image_;
};

} // namespace

bool PngSupported() {
    return true;
}

RgbImage ReadPngFile(const std::string& path) {
    PngImage png;
    if (!png_image_begin_read_from_file(png.get(), path.c_str())) {
        throw Error("'" + path + "': cannot read the PNG file (" + png->message + ")");
    }
    const int64_t width = png->width;
    const int64_t height = png->height;
    if (width > kMaxImageSide || height > kMaxImageSide || width * height > kMaxImagePixels) {
        throw Error("'" + path + "': image too large (" + std::to_string(width) + "x" +
                    std::to_string(height) + ")");
    }
    // A desktop has no transparency; whatever a file has is laid over black.
    png->format = PNG_FORMAT_RGB;
    RgbImage image(static_cast<int32_t>(width), static_cast<int32_t>(height));
    const png_color black{0, 0, 0};
    if (!png_image_finish_read(png.get(), &black, image.pixels.data(), 0, nullptr)) {
        throw Error("'" + path + "': cannot read the PNG file (" + png->message + ")");
    }
    return image;
}

void WritePngFile(const std::string& path, const RgbImage& image) {
    PngImage png;
    png->width = static_cast<png_uint_32>(image.width);
    png->height = static_cast<png_uint_32>(image.height);
    png->format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(png.get(), path.c_str(), 0, image.pixels.data(), 0, nullptr)) {
        throw Error("'" + path + "': cannot write the PNG file (" + png->message + ")");
    }
}

} // namespace lumivane
