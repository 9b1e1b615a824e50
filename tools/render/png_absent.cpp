// Builds without libpng (the Windows ones): PPM only, and a clear word for a .png path.
#include "core/error.h"
#include "tools/render/image_io.h"

namespace lumivane {

namespace {

[[noreturn]] void NoPng(const std::string& path) {
    throw Error("'" + path + "': " + std::string(kPngUnsupported));
}

} // namespace

bool PngSupported() {
    return false;
}

RgbImage ReadPngFile(const std::string& path) {
    NoPng(path);
}

void WritePngFile(const std::string& path, const RgbImage&) {
    NoPng(path);
}

} // namespace lumivane
