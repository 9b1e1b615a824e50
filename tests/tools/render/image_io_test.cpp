// The image files of lumivane-render: PPM parsing (including hostile headers), PNG
// where the build has it, and the pixel order between a picture and a TDIB.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "core/error.h"
#include "core/image/tdib.h"
#include "tests/scratch_dir.h"
#include "tools/render/image_io.h"

using lumivane::DecodePpm;
using lumivane::EncodePpm;
using lumivane::Error;
using lumivane::RgbImage;
using lumivane::test::ScratchDir;

namespace {

std::string DecodeError(const std::string& bytes) {
    try {
        DecodePpm(bytes, "test.ppm");
    } catch (const Error& error) {
        return error.what();
    }
    return "";
}

template <typename Action> std::string ErrorOf(Action action) {
    try {
        action();
    } catch (const Error& error) {
        return error.what();
    }
    return "";
}

RgbImage TwoByTwo() {
    RgbImage image(2, 2);
    image.pixels = {1, 2, 3, 10, 20, 30, 100, 110, 120, 253, 254, 255};
    return image;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

} // namespace

TEST(PpmDecode, ReadsPixelsAfterTheHeader) {
    const RgbImage image =
        DecodePpm(std::string("P6\n2 1\n255\n") + "\x01\x02\x03\xfd\xfe\xff", "a");
    EXPECT_EQ(image.width, 2);
    EXPECT_EQ(image.height, 1);
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{1, 2, 3, 253, 254, 255}));
}

TEST(PpmDecode, SkipsCommentsAndAnyWhitespaceBetweenTokens) {
    const RgbImage image =
        DecodePpm(std::string("P6# made by hand\n 1\t# width\n\r1 #h\n  255\nabc"), "a");
    EXPECT_EQ(image.width, 1);
    EXPECT_EQ(image.height, 1);
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{'a', 'b', 'c'}));
}

TEST(PpmDecode, OneWhitespaceByteEndsTheHeader) {
    // The pixel bytes are a newline, a space and a tab: data, not more header.
    const RgbImage image = DecodePpm(std::string("P6 1 1 255\n\n \t"), "a");
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{10, 32, 9}));
}

TEST(PpmDecode, IgnoresBytesAfterThePixels) {
    const RgbImage image = DecodePpm(std::string("P6 1 1 255 xyzP6 1 1 255 abc"), "a");
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{'x', 'y', 'z'}));
}

TEST(PpmDecode, RejectsOtherFormats) {
    EXPECT_EQ(DecodeError(""), "'test.ppm': not a binary PPM file (P6)");
    EXPECT_EQ(DecodeError("P3\n1 1\n255\n0 0 0\n"), "'test.ppm': not a binary PPM file (P6)");
    EXPECT_EQ(DecodeError("\x89PNG\r\n"), "'test.ppm': not a binary PPM file (P6)");
    EXPECT_EQ(DecodeError("P6\n1 1\n65535\n\0\0\0\0\0\0"),
              "'test.ppm': PPM maximum value 65535 is not supported (only 255)");
    EXPECT_EQ(DecodeError("P6\n1 1\n15\nabc"),
              "'test.ppm': PPM maximum value 15 is not supported (only 255)");
}

TEST(PpmDecode, RejectsBrokenHeaders) {
    EXPECT_EQ(DecodeError("P6"), "'test.ppm': PPM header ends before the width");
    EXPECT_EQ(DecodeError("P6\n2 # only a width\n"),
              "'test.ppm': PPM header ends before the height");
    EXPECT_EQ(DecodeError("P6\n2 2"), "'test.ppm': PPM header ends before the maximum value");
    EXPECT_EQ(DecodeError("P6\n-2 2\n255\n"),
              "'test.ppm': bad PPM header: the width is not a number");
    EXPECT_EQ(DecodeError("P6\n2 x\n255\n"),
              "'test.ppm': bad PPM header: the height is not a number");
    EXPECT_EQ(DecodeError("P6\n1 1\n255"),
              "'test.ppm': bad PPM header: no whitespace after the maximum value");
    EXPECT_EQ(DecodeError("P6\n1 1\n255#abc"),
              "'test.ppm': bad PPM header: no whitespace after the maximum value");
    EXPECT_EQ(DecodeError("P6\n0 5\n255\n"), "'test.ppm': image has no pixels (0x5)");
}

TEST(PpmDecode, RefusesAbsurdSizesBeforeAllocating) {
    EXPECT_EQ(DecodeError("P6\n99999999999999999999 1\n255\n"),
              "'test.ppm': bad PPM header: the width is too large");
    EXPECT_EQ(DecodeError("P6\n32769 1\n255\n"), "'test.ppm': image too large (32769x1)");
    EXPECT_EQ(DecodeError("P6\n1 32769\n255\n"), "'test.ppm': image too large (1x32769)");
    // Each side allowed, but 900 million pixels in all.
    EXPECT_EQ(DecodeError("P6\n30000 30000\n255\n"), "'test.ppm': image too large (30000x30000)");
    // Allowed size, but the data is not there: refused before the picture is made.
    EXPECT_EQ(DecodeError("P6\n8192 8192\n255\nabc"),
              "'test.ppm': pixel data truncated (3 of 201326592 bytes)");
}

TEST(PpmDecode, RefusesTruncatedPixels) {
    EXPECT_EQ(DecodeError(std::string("P6\n2 1\n255\n") + "12345"),
              "'test.ppm': pixel data truncated (5 of 6 bytes)");
    EXPECT_EQ(DecodeError("P6\n2 1\n255\n"), "'test.ppm': pixel data truncated (0 of 6 bytes)");
}

TEST(PpmEncode, WritesTheShortestHeaderThenThePixels) {
    RgbImage image(2, 1);
    image.pixels = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(EncodePpm(image), std::string("P6\n2 1\n255\n") + "\x01\x02\x03\x04\x05\x06");
}

TEST(ImageFiles, FormatFollowsTheExtensionInAnyCase) {
    EXPECT_EQ(lumivane::FormatOfPath("a.ppm"), lumivane::ImageFormat::Ppm);
    EXPECT_EQ(lumivane::FormatOfPath("dir.png/A.PPM"), lumivane::ImageFormat::Ppm);
    EXPECT_EQ(lumivane::FormatOfPath("b.Png"), lumivane::ImageFormat::Png);
    EXPECT_EQ(ErrorOf([] { lumivane::FormatOfPath("c.bmp"); }),
              "'c.bmp': unknown image type (use .ppm or .png)");
    EXPECT_EQ(ErrorOf([] { lumivane::FormatOfPath("ppm"); }),
              "'ppm': unknown image type (use .ppm or .png)");
}

TEST(ImageFiles, PpmFileRoundTrip) {
    const ScratchDir dir("image-io-ppm");
    const std::string path = dir.File("two.ppm");
    lumivane::WriteImage(path, TwoByTwo());
    EXPECT_EQ(ReadBytes(path).substr(0, 11), "P6\n2 2\n255\n");
    EXPECT_EQ(lumivane::ReadImage(path), TwoByTwo());
}

TEST(ImageFiles, MissingAndUnwritableFilesAreNamed) {
    const ScratchDir dir("image-io-missing");
    const std::string missing = dir.File("absent.ppm");
    EXPECT_EQ(ErrorOf([&] { lumivane::ReadImage(missing); }),
              "'" + missing + "': cannot open the file");
    const std::string nowhere = dir.File("no-such-dir/out.ppm");
    EXPECT_EQ(ErrorOf([&] { lumivane::WriteImage(nowhere, TwoByTwo()); }),
              "'" + nowhere + "': cannot write the file");
}

TEST(ImageFiles, TruncatedPpmFileIsRefused) {
    const ScratchDir dir("image-io-truncated");
    const std::string path = dir.File("cut.ppm");
    WriteBytes(path, EncodePpm(TwoByTwo()).substr(0, 20));
    EXPECT_EQ(ErrorOf([&] { lumivane::ReadImage(path); }),
              "'" + path + "': pixel data truncated (9 of 12 bytes)");
}

TEST(ImageFiles, PngRoundTripOrAClearRefusal) {
    const ScratchDir dir("image-io-png");
    const std::string path = dir.File("two.png");
    if (!lumivane::PngSupported()) {
        const std::string refusal =
            "'" + path + "': PNG images are not supported by this build (use .ppm)";
        EXPECT_EQ(ErrorOf([&] { lumivane::WriteImage(path, TwoByTwo()); }), refusal);
        EXPECT_EQ(ErrorOf([&] { lumivane::ReadImage(path); }), refusal);
        EXPECT_EQ(ErrorOf([&] { lumivane::RequireSupportedFormat(path); }), refusal);
        return;
    }
    lumivane::WriteImage(path, TwoByTwo());
    EXPECT_EQ(ReadBytes(path).substr(1, 3), "PNG");
    EXPECT_EQ(lumivane::ReadImage(path), TwoByTwo());
}

TEST(ImageFiles, BrokenPngFilesAreRefused) {
    if (!lumivane::PngSupported()) {
        GTEST_SKIP() << "this build has no PNG support";
    }
    const ScratchDir dir("image-io-png-broken");
    const std::string notPng = dir.File("text.png");
    WriteBytes(notPng, "P6\n1 1\n255\nabc");
    EXPECT_NE(ErrorOf([&] { lumivane::ReadImage(notPng); }).find("cannot read the PNG file"),
              std::string::npos);

    RgbImage large(64, 64);
    for (size_t i = 0; i < large.pixels.size(); ++i) {
        large.pixels[i] = static_cast<uint8_t>(i * 7 + i / 64);
    }
    const std::string whole = dir.File("whole.png");
    lumivane::WriteImage(whole, large);
    const std::string bytes = ReadBytes(whole);
    const std::string cut = dir.File("cut.png");
    WriteBytes(cut, bytes.substr(0, bytes.size() / 2));
    EXPECT_NE(ErrorOf([&] { lumivane::ReadImage(cut); }).find("cannot read the PNG file"),
              std::string::npos);
}

TEST(ImageAndTDIB, PixelsGoToTheBufferAsBlueGreenRedTopRowFirst) {
    lumivane::TDIB dib;
    lumivane::ImageToTDIB(TwoByTwo(), dib);
    ASSERT_EQ(dib.Width(), 2);
    ASSERT_EQ(dib.Height(), 2);
    EXPECT_EQ(dib.BitCount(), 24);
    const uint8_t* top = dib.ScanLine(0);
    EXPECT_EQ((std::vector<uint8_t>(top, top + 6)), (std::vector<uint8_t>{3, 2, 1, 30, 20, 10}));
    const uint8_t* bottom = dib.ScanLine(1);
    EXPECT_EQ((std::vector<uint8_t>(bottom, bottom + 6)),
              (std::vector<uint8_t>{120, 110, 100, 255, 254, 253}));
}

TEST(ImageAndTDIB, BufferPixelsComeBackAsRedGreenBlue) {
    lumivane::TDIB dib;
    dib.SetBitCount(24);
    dib.SetSize(3, 2);
    std::fill(dib.ScanLine(1), dib.ScanLine(1) + dib.SizeImage(), uint8_t{0});
    dib.PutPixel(2, 0, lumivane::RGB(200, 100, 50));
    dib.PutPixel(0, 1, lumivane::RGB(7, 8, 9));
    const RgbImage image = lumivane::ImageFromTDIB(dib);
    ASSERT_EQ(image.width, 3);
    ASSERT_EQ(image.height, 2);
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 200, 100, 50, //
                                                  7, 8, 9, 0, 0, 0, 0, 0, 0}));
}

TEST(ImageAndTDIB, EmptyBufferHasNoPicture) {
    lumivane::TDIB dib;
    EXPECT_EQ(ErrorOf([&] { lumivane::ImageFromTDIB(dib); }), "the buffer holds no 24-bit picture");
}
