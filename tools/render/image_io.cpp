#include "tools/render/image_io.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/error.h"

namespace lumivane {

namespace {

// Room for the header (comments included) on top of the largest pixel block.
constexpr int64_t kMaxPpmFileBytes = kMaxImagePixels * 3 + 1024 * 1024;

[[noreturn]] void Fail(const std::string& name, const std::string& what) {
    throw Error("'" + name + "': " + what);
}

bool IsPpmSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads the PPM header's tokens: whitespace and '#' comments may stand before each one.
class HeaderReader {
  public:
    HeaderReader(std::string_view bytes, const std::string& name) : bytes_(bytes), name_(name) {}

    int64_t Number(const char* what) {
        SkipSpaceAndComments();
        if (at_ >= bytes_.size()) {
            Fail(name_, std::string("PPM header ends before the ") + what);
        }
        if (!std::isdigit(static_cast<unsigned char>(bytes_[at_]))) {
            Fail(name_, std::string("bad PPM header: the ") + what + " is not a number");
        }
        int64_t value = 0;
        while (at_ < bytes_.size() && std::isdigit(static_cast<unsigned char>(bytes_[at_]))) {
            value = value * 10 + (bytes_[at_] - '0');
            if (value > kMaxImagePixels) {
                Fail(name_, std::string("bad PPM header: the ") + what + " is too large");
            }
            ++at_;
        }
        return value;
    }

    // The single whitespace byte that ends the header.
    void HeaderEnd() {
        if (at_ >= bytes_.size() || !IsPpmSpace(bytes_[at_])) {
            Fail(name_, "bad PPM header: no whitespace after the maximum value");
        }
        ++at_;
    }

    size_t Offset() const { return at_; }
    void Skip(size_t count) { at_ += count; }

  private:
    void SkipSpaceAndComments() {
        while (at_ < bytes_.size()) {
            if (IsPpmSpace(bytes_[at_])) {
                ++at_;
            } else if (bytes_[at_] == '#') {
                while (at_ < bytes_.size() && bytes_[at_] != '\n' && bytes_[at_] != '\r') {
                    ++at_;
                }
            } else {
                return;
            }
        }
    }

    std::string_view bytes_;
    const std::string& name_;
    size_t at_ = 0;
};

void CheckDimensions(int64_t width, int64_t height, const std::string& name) {
    if (width < 1 || height < 1) {
        Fail(name,
             "image has no pixels (" + std::to_string(width) + "x" + std::to_string(height) + ")");
    }
    if (width > kMaxImageSide || height > kMaxImageSide || width * height > kMaxImagePixels) {
        Fail(name,
             "image too large (" + std::to_string(width) + "x" + std::to_string(height) + ")");
    }
}

std::string Lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

RgbImage::RgbImage(int32_t w, int32_t h)
    : width(w), height(h), pixels(static_cast<size_t>(w) * static_cast<size_t>(h) * 3, 0) {}

ImageFormat FormatOfPath(const std::string& path) {
    const std::string extension = Lowercase(std::filesystem::path(path).extension().string());
    if (extension == ".ppm") {
        return ImageFormat::Ppm;
    }
    if (extension == ".png") {
        return ImageFormat::Png;
    }
    throw Error("'" + path + "': unknown image type (use .ppm or .png)");
}

void RequireSupportedFormat(const std::string& path) {
    if (FormatOfPath(path) == ImageFormat::Png && !PngSupported()) {
        throw Error("'" + path + "': " + std::string(kPngUnsupported));
    }
}

RgbImage DecodePpm(std::string_view bytes, const std::string& name) {
    if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '6') {
        Fail(name, "not a binary PPM file (P6)");
    }
    HeaderReader header(bytes, name);
    header.Skip(2);
    const int64_t width = header.Number("width");
    const int64_t height = header.Number("height");
    const int64_t maxval = header.Number("maximum value");
    if (maxval != 255) {
        Fail(name, "PPM maximum value " + std::to_string(maxval) + " is not supported (only 255)");
    }
    header.HeaderEnd();
    CheckDimensions(width, height, name);
    const size_t pixelBytes = static_cast<size_t>(width * height * 3);
    if (bytes.size() - header.Offset() < pixelBytes) {
        Fail(name, "pixel data truncated (" + std::to_string(bytes.size() - header.Offset()) +
                       " of " + std::to_string(pixelBytes) + " bytes)");
    }
    RgbImage image(static_cast<int32_t>(width), static_cast<int32_t>(height));
    const std::string_view data = bytes.substr(header.Offset(), pixelBytes);
    std::copy(data.begin(), data.end(), image.pixels.begin());
    return image;
}

std::string EncodePpm(const RgbImage& image) {
    std::string bytes =
        "P6\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
    bytes.append(image.pixels.begin(), image.pixels.end());
    return bytes;
}

RgbImage ReadPpmFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) {
        throw Error("'" + path + "': cannot open the file");
    }
    const std::streamoff size = file.tellg();
    if (size < 0) {
        throw Error("'" + path + "': cannot read the file");
    }
    if (size > kMaxPpmFileBytes) {
        throw Error("'" + path + "': file too large for an image");
    }
    std::string bytes(static_cast<size_t>(size), '\0');
    file.seekg(0);
    if (!file.read(bytes.data(), size)) {
        throw Error("'" + path + "': cannot read the file");
    }
    return DecodePpm(bytes, path);
}

void WritePpmFile(const std::string& path, const RgbImage& image) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    const std::string bytes = EncodePpm(image);
    if (!file || !file.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) ||
        !file.flush()) {
        throw Error("'" + path + "': cannot write the file");
    }
}

RgbImage ReadImage(const std::string& path) {
    return FormatOfPath(path) == ImageFormat::Png ? ReadPngFile(path) : ReadPpmFile(path);
}

void WriteImage(const std::string& path, const RgbImage& image) {
    if (FormatOfPath(path) == ImageFormat::Png) {
        WritePngFile(path, image);
    } else {
        WritePpmFile(path, image);
    }
}

RgbImage ImageFromTDIB(TDIB& dib) {
    if (dib.Empty() || dib.BitCount() != 24) {
        throw Error("the buffer holds no 24-bit picture");
    }
    RgbImage image(dib.Width(), dib.Height());
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t* from = dib.ScanLine(y);
        for (int32_t x = 0; x < image.width; ++x, from += 3) {
            uint8_t* to = image.At(x, y);
            to[0] = from[2];
            to[1] = from[1];
            to[2] = from[0];
        }
    }
    return image;
}

void ImageToTDIB(const RgbImage& image, TDIB& dib) {
    dib.SetBitCount(24);
    dib.SetSize(image.width, image.height);
    for (int32_t y = 0; y < image.height; ++y) {
        uint8_t* to = dib.ScanLine(y);
        for (int32_t x = 0; x < image.width; ++x, to += 3) {
            const uint8_t* from = image.At(x, y);
            to[0] = from[2];
            to[1] = from[1];
            to[2] = from[0];
        }
    }
}

} // namespace lumivane
