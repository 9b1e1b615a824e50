// lumivane-render as its users see it: arguments, where the clock sits on the
// desktop, what the screen copy takes, and the exit codes and messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "tests/scratch_dir.h"
#include "tests/tools/render/test_desktops.h"
#include "tools/render/render_cli.h"

using lumivane::ClockPlacement;
using lumivane::Display;
using lumivane::ParseRenderArguments;
using lumivane::RenderClock;
using lumivane::RenderOptions;
using lumivane::RgbImage;
using lumivane::UsageError;
using lumivane::test::FlatDesktop;
using lumivane::test::NoiseDesktop;
using lumivane::test::ScratchDir;

namespace {

using Arguments = std::vector<std::string>;

Arguments Required() {
    return {"--background", "in.ppm", "--time", "10:10:30", "--output", "out.ppm"};
}

Arguments With(Arguments arguments, const Arguments& more) {
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
}

std::string UsageErrorOf(const Arguments& arguments) {
    try {
        ParseRenderArguments(arguments);
    } catch (const UsageError& error) {
        return error.what();
    }
    return "";
}

RenderOptions Options(const Arguments& more = {}) {
    return ParseRenderArguments(With(Required(), more));
}

ClockPlacement Place(const Arguments& more, Display screen) {
    return lumivane::PlaceClock(Options(more), screen);
}

std::string PlacementError(const Arguments& more, Display screen) {
    try {
        Place(more, screen);
    } catch (const UsageError& error) {
        return error.what();
    }
    return "";
}

// The columns [first, last) of every row.
RgbImage Columns(const RgbImage& image, int32_t first, int32_t last) {
    RgbImage part(last - first, image.height);
    for (int32_t y = 0; y < image.height; ++y) {
        std::copy(image.At(first, y), image.At(last, y), part.At(0, y));
    }
    return part;
}

RgbImage Rows(const RgbImage& image, int32_t first, int32_t last) {
    RgbImage part(image.width, last - first);
    std::copy(image.At(0, first), image.At(0, last), part.pixels.begin());
    return part;
}

bool IsBlack(const RgbImage& image, int32_t x, int32_t y) {
    const uint8_t* pixel = image.At(x, y);
    return pixel[0] == 0 && pixel[1] == 0 && pixel[2] == 0;
}

struct RunResult {
    int code = -1;
    std::string out;
    std::string err;
};

RunResult RunTool(const Arguments& arguments) {
    std::ostringstream out;
    std::ostringstream err;
    RunResult result;
    result.code = lumivane::RunRenderCli(arguments, out, err);
    result.out = out.str();
    result.err = err.str();
    return result;
}

constexpr Display kLaptop{1366, 768};

} // namespace

TEST(RenderArguments, RequiredOnesAloneTakeTheFirstStartDefaults) {
    const RenderOptions options = Options();
    EXPECT_EQ(options.background, "in.ppm");
    EXPECT_EQ(options.output, "out.ppm");
    EXPECT_EQ(options.time.hour, 10);
    EXPECT_EQ(options.time.minute, 10);
    EXPECT_EQ(options.time.second, 30);
    EXPECT_FALSE(options.screen || options.left || options.top);
    EXPECT_FALSE(options.size || options.bright || options.contrast || options.algoritm);
    EXPECT_TRUE(options.label.empty());
    EXPECT_EQ(options.frames, 1);
    EXPECT_FALSE(options.help);
}

TEST(RenderArguments, EveryOptionTakesItsValueInAnyOrder) {
    const RenderOptions options = ParseRenderArguments(
        {"--frames", "7",           "--algoritm",   "5",         "--contrast", "15",
         "--bright", "0",           "--size",       "50",        "--top",      "-20",
         "--left",   "-2147483648", "--screen",     "1920X1080", "--output",   "o.png",
         "--time",   "0:00:00",     "--background", "b.png",     "--label",    "São Paulo"});
    EXPECT_EQ(options.frames, 7);
    EXPECT_EQ(options.algoritm, 5);
    EXPECT_EQ(options.contrast, 15);
    EXPECT_EQ(options.bright, 0);
    EXPECT_EQ(options.size, 50);
    EXPECT_EQ(options.top, -20);
    EXPECT_EQ(options.left, std::numeric_limits<int32_t>::min());
    ASSERT_TRUE(options.screen);
    EXPECT_EQ(options.screen->width, 1920);
    EXPECT_EQ(options.screen->height, 1080);
    EXPECT_EQ(options.time.hour, 0);
    EXPECT_EQ(options.background, "b.png");
    EXPECT_EQ(options.output, "o.png");
    EXPECT_EQ(options.label, "São Paulo");
}

TEST(RenderArguments, TimesFromMidnightToTheLastSecond) {
    for (auto [text, hour, minute, second] : {std::tuple{"00:00:00", 0, 0, 0},
                                              {"23:59:59", 23, 59, 59},
                                              {"9:05:07", 9, 5, 7},
                                              {"12:0:0", 12, 0, 0}}) {
        const RenderOptions options =
            ParseRenderArguments({"--background", "a.ppm", "--time", text, "--output", "b.ppm"});
        EXPECT_EQ(options.time.hour, hour) << text;
        EXPECT_EQ(options.time.minute, minute) << text;
        EXPECT_EQ(options.time.second, second) << text;
    }
}

TEST(RenderArguments, OutOfRangeOrMalformedTimesAreRefused) {
    for (const char* text :
         {"25:00:00", "24:00:00", "10:60:00", "10:10:60", "10:10", "10:10:10:10", "-1:00:00",
          "aa:bb:cc", "100:00:00", "10:10:", "10::30", " 10:10:30", "+1:00:00", ""}) {
        const Arguments arguments = {"--background", "a.ppm", "--output", "b.ppm", "--time", text};
        const std::string expected = *text == '\0' ? "option --time needs a value"
                                                   : "bad time '" + std::string(text) +
                                                         "' (use HH:MM:SS, 00:00:00 to 23:59:59)";
        EXPECT_EQ(UsageErrorOf(arguments), expected) << text;
    }
}

TEST(RenderArguments, MissingRequiredOptionsAreNamed) {
    EXPECT_EQ(UsageErrorOf({}), "missing required option --background (see --help)");
    EXPECT_EQ(UsageErrorOf({"--background", "a.ppm", "--output", "b.ppm"}),
              "missing required option --time (see --help)");
    EXPECT_EQ(UsageErrorOf({"--background", "a.ppm", "--time", "1:00:00"}),
              "missing required option --output (see --help)");
}

TEST(RenderArguments, UnknownRepeatedOrValuelessOptionsAreRefused) {
    EXPECT_EQ(UsageErrorOf(With(Required(), {"--colour", "red"})),
              "unknown option '--colour' (see --help)");
    EXPECT_EQ(UsageErrorOf(With(Required(), {"stray"})), "unknown option 'stray' (see --help)");
    EXPECT_EQ(UsageErrorOf(With(Required(), {"--algorithm", "1"})),
              "unknown option '--algorithm' (see --help)");
    EXPECT_EQ(UsageErrorOf(With(Required(), {"--size", "5", "--size", "6"})),
              "option --size given twice");
    EXPECT_EQ(UsageErrorOf(With(Required(), {"--size"})), "option --size needs a value");
    EXPECT_EQ(UsageErrorOf({"--background", "--time", "1:00:00", "--output", "o.ppm"}),
              "option --background needs a value");
}

TEST(RenderArguments, NumbersMustBeWhole32BitIntegers) {
    for (const char* text : {"12a", "1.5", "", "0x10", "2147483648", "-2147483649", "+3", " 4"}) {
        const std::string expected = *text == '\0'
                                         ? "option --bright needs a value"
                                         : "bad number '" + std::string(text) + "' for --bright";
        EXPECT_EQ(UsageErrorOf(With(Required(), {"--bright", text})), expected) << text;
    }
    EXPECT_EQ(Options({"--bright", "2147483647"}).bright, 2147483647);
    EXPECT_EQ(Options({"--contrast", "-2147483648"}).contrast, std::numeric_limits<int32_t>::min());
}

TEST(RenderArguments, ScreenSizeNeedsTwoPositiveSides) {
    for (const char* text :
         {"1366", "1366x", "x768", "0x768", "1366x0", "1366x-768", "axb", "1366*768"}) {
        EXPECT_EQ(UsageErrorOf(With(Required(), {"--screen", text})),
                  "bad screen size '" + std::string(text) + "' (use WxH, for example 1366x768)")
            << text;
    }
}

TEST(RenderArguments, FramesStartAtOne) {
    EXPECT_EQ(UsageErrorOf(With(Required(), {"--frames", "0"})),
              "--frames needs at least 1 frame, not 0");
    EXPECT_EQ(UsageErrorOf(With(Required(), {"--frames", "-3"})),
              "--frames needs at least 1 frame, not -3");
}

TEST(RenderArguments, HelpNeedsNothingElse) {
    EXPECT_TRUE(ParseRenderArguments({"--help"}).help);
    EXPECT_TRUE(ParseRenderArguments({"-h", "--size", "5"}).help);
}

TEST(ClockPlacement, FirstStartOnALaptopDisplay) {
    const ClockPlacement placement = Place({}, kLaptop);
    EXPECT_EQ(placement.diameter, 285);
    EXPECT_EQ(placement.left, 540); // Round(683 - 142.5), the half to even
    EXPECT_EQ(placement.top, 0);
}

TEST(ClockPlacement, CentringRoundsHalvesToEven) {
    EXPECT_EQ(Place({}, {1367, 768}).left, 541);
    EXPECT_EQ(Place({}, {1368, 768}).left, 542); // 541.5
    EXPECT_EQ(Place({}, {1364, 768}).left, 540); // 539.5
    EXPECT_EQ(Place({}, {100, 768}).left, -92);  // -92.5, wider than the display
    // Centred for the clock that is drawn, not the default one.
    EXPECT_EQ(Place({"--size", "20"}, kLaptop).left, 533);
}

TEST(ClockPlacement, LeftAndTopOverrideThePosition) {
    const ClockPlacement placement = Place({"--left", "-50", "--top", "900"}, kLaptop);
    EXPECT_EQ(placement.left, -50);
    EXPECT_EQ(placement.top, 900);
    EXPECT_EQ(placement.diameter, 285);
}

TEST(ClockPlacement, DiameterFollowsSizeAndDisplayHeight) {
    EXPECT_EQ(Place({"--size", "50"}, kLaptop).diameter, 750);
    EXPECT_EQ(Place({"--size", "50"}, {1024, 700}).diameter, 700); // reaches the height
    EXPECT_EQ(Place({"--size", "50"}, {1280, 1024}).diameter, 1000);
    EXPECT_EQ(Place({}, {1280, 625}).diameter, 228); // 12.5 rounds to 12
    EXPECT_EQ(Place({}, {1280, 675}).diameter, 266); // 13.5 rounds to 14
    // A registry could hold any size: beyond the display it is the display's height.
    EXPECT_EQ(Place({"--size", "2147483647"}, kLaptop).diameter, 768);
    EXPECT_EQ(Place({"--size", "1"}, {80, 75}).diameter, 2);
}

TEST(ClockPlacement, NoPictureOrATooLargeOneIsRefused) {
    EXPECT_EQ(PlacementError({"--size", "0"}, kLaptop),
              "clock size 0 gives no picture with a display height of 768");
    EXPECT_EQ(PlacementError({"--size", "-2147483648"}, kLaptop),
              "clock size -2147483648 gives no picture with a display height of 768");
    EXPECT_EQ(PlacementError({}, {1366, 24}),
              "clock size 19 gives no picture with a display height of 24");
    EXPECT_EQ(PlacementError({"--size", "50"}, {8000, 4400}),
              "clock diameter 4400 is larger than the 4320 pixels this tool draws");
    EXPECT_EQ(Place({"--size", "60"}, {7680, 4320}).diameter, 4320);
}

TEST(RenderClock, FrameIsDiameterSquareAndBlackOutsideTheDisc) {
    const RgbImage frame = RenderClock(FlatDesktop(1366, 768, 200, 180, 160), Options());
    ASSERT_EQ(frame.width, 285);
    ASSERT_EQ(frame.height, 285);
    for (auto [x, y] : {std::pair{0, 0}, {284, 0}, {0, 284}, {284, 284}, {20, 20}}) {
        EXPECT_TRUE(IsBlack(frame, x, y)) << x << "," << y;
    }
    EXPECT_FALSE(IsBlack(frame, 142, 200));
    EXPECT_FALSE(IsBlack(frame, 60, 142));
}

TEST(RenderClock, DefaultPositionIsTheTopCentre) {
    const RgbImage desktop = NoiseDesktop(1366, 768, 7);
    const RgbImage frame = RenderClock(desktop, Options());
    EXPECT_EQ(frame, RenderClock(desktop, Options({"--left", "540", "--top", "0"})));
    EXPECT_NE(frame, RenderClock(desktop, Options({"--left", "541", "--top", "0"})));
    EXPECT_NE(frame, RenderClock(desktop, Options({"--left", "540", "--top", "1"})));
}

TEST(RenderClock, CopyIsTheDesktopUnderTheWindow) {
    // The same 285 x 285 area, once in place and once moved to the top-left corner.
    const RgbImage desktop = NoiseDesktop(1366, 768, 11);
    RgbImage moved(1366, 768);
    for (int32_t y = 0; y < 285; ++y) {
        std::copy(desktop.At(300, 200 + y), desktop.At(585, 200 + y), moved.At(0, y));
    }
    EXPECT_EQ(RenderClock(desktop, Options({"--left", "300", "--top", "200"})),
              RenderClock(moved, Options({"--left", "0", "--top", "0"})));
}

TEST(RenderClock, DesktopBeyondItsEdgesIsBlack) {
    // Half the window left of the desktop: that half draws as over a black desktop.
    const RgbImage white = FlatDesktop(1366, 768, 255, 255, 255);
    const RgbImage black = FlatDesktop(1366, 768, 0, 0, 0);
    const Arguments leftOut = {"--left", "-142", "--time", "00:00:00"};
    const RgbImage overEdge = RenderClock(
        white, ParseRenderArguments(With({"--background", "a.ppm", "--output", "b.ppm"}, leftOut)));
    const RgbImage overBlack = RenderClock(
        black, ParseRenderArguments(With({"--background", "a.ppm", "--output", "b.ppm"}, leftOut)));
    // Away from the seam (beads and the hands at 12 reach a few pixels across it).
    EXPECT_EQ(Columns(overEdge, 0, 120), Columns(overBlack, 0, 120));
    EXPECT_NE(Columns(overEdge, 165, 285), Columns(overBlack, 165, 285));
    EXPECT_FALSE(IsBlack(overEdge, 200, 142));

    const Arguments topOut = {"--top", "-142", "--left", "100", "--time", "03:15:00"};
    const RgbImage overTop = RenderClock(
        white, ParseRenderArguments(With({"--background", "a.ppm", "--output", "b.ppm"}, topOut)));
    const RgbImage overTopBlack = RenderClock(
        black, ParseRenderArguments(With({"--background", "a.ppm", "--output", "b.ppm"}, topOut)));
    EXPECT_EQ(Rows(overTop, 0, 120), Rows(overTopBlack, 0, 120));
    EXPECT_NE(Rows(overTop, 165, 285), Rows(overTopBlack, 165, 285));
}

TEST(RenderClock, ScreenLargerThanThePictureCopiesBlackBeyondIt) {
    // The picture covers only the left 700 columns of a 1366-wide display; the
    // window (540..824) reaches 125 columns beyond it.
    const RgbImage small = FlatDesktop(700, 768, 255, 255, 255);
    const RgbImage wide = [] {
        RgbImage image = FlatDesktop(1366, 768, 0, 0, 0);
        for (int32_t y = 0; y < 768; ++y) {
            std::fill(image.At(0, y), image.At(700, y), uint8_t{255});
        }
        return image;
    }();
    EXPECT_EQ(RenderClock(small, Options({"--screen", "1366x768"})), RenderClock(wide, Options()));
}

TEST(RenderClock, TimeAndSettingsReachThePicture) {
    const RgbImage desktop = NoiseDesktop(1366, 768, 3);
    const RgbImage frame = RenderClock(desktop, Options());
    const RenderOptions secondLater =
        ParseRenderArguments({"--background", "a.ppm", "--output", "b.ppm", "--time", "10:10:31"});
    EXPECT_NE(frame, RenderClock(desktop, secondLater));
    EXPECT_NE(frame, RenderClock(desktop, Options({"--bright", "29"})));
    EXPECT_NE(frame, RenderClock(desktop, Options({"--contrast", "7"})));
    EXPECT_NE(frame, RenderClock(desktop, Options({"--algoritm", "1"})));
    EXPECT_NE(frame, RenderClock(desktop, Options({"--label", "UTC"})));
    EXPECT_EQ(frame, RenderClock(desktop, Options({"--label", "?"}))); // nothing to draw
    EXPECT_EQ(RenderClock(desktop, Options({"--size", "20"})).width, 300);
}

TEST(RenderClock, RepeatedFramesFromOneCopyAreTheSame) {
    const RgbImage desktop = NoiseDesktop(1366, 768, 5);
    EXPECT_EQ(RenderClock(desktop, Options({"--frames", "3"})), RenderClock(desktop, Options()));
}

TEST(RenderClock, TinyClocksDrawWithoutFault) {
    // Displays a few dozen pixels high give clocks of a few pixels, whose hands
    // have negative lengths.
    for (int32_t height : {26, 75, 76, 125, 150, 175, 200}) {
        for (int32_t size : {1, 2, 3, 5}) {
            SCOPED_TRACE("height " + std::to_string(height) + ", size " + std::to_string(size));
            const RgbImage desktop = NoiseDesktop(60, height, 1);
            const RgbImage frame = RenderClock(desktop, Options({"--size", std::to_string(size)}));
            EXPECT_EQ(frame.width, Place({"--size", std::to_string(size)}, {60, height}).diameter);
        }
    }
}

TEST(RenderCommand, HelpGoesToStandardOutput) {
    const RunResult result = RunTool({"--help"});
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.out.rfind(
                  "Usage: lumivane-render --background IN --time HH:MM:SS --output OUT\n", 0),
              0u);
    EXPECT_NE(result.out.find("--algoritm A"), std::string::npos);
    EXPECT_NE(result.out.find("--label TEXT"), std::string::npos);
    EXPECT_TRUE(result.err.empty());
}

TEST(RenderCommand, BadArgumentsExitTwoWithOneLine) {
    for (const Arguments& arguments :
         {Arguments{}, With(Required(), {"--bogus"}), With(Required(), {"--size", "x"}),
          Arguments{"--background", "a.ppm", "--time", "25:00:00", "--output", "b.ppm"},
          With(Required(), {"--size", "0"})}) {
        const RunResult result = RunTool(arguments);
        EXPECT_EQ(result.code, 2);
        EXPECT_EQ(result.err.rfind("lumivane-render: ", 0), 0u) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_TRUE(result.out.empty());
    }
}

TEST(RenderCommand, PpmInFrameOut) {
    const ScratchDir dir("render-cli-ppm");
    const RgbImage desktop = NoiseDesktop(1366, 768, 21);
    lumivane::WriteImage(dir.File("desktop.ppm"), desktop);
    const RunResult result = RunTool({"--background", dir.File("desktop.ppm"), "--time", "10:10:30",
                                      "--output", dir.File("frame.ppm")});
    ASSERT_EQ(result.code, 0) << result.err;
    EXPECT_TRUE(result.err.empty());
    EXPECT_TRUE(result.out.empty());
    const RgbImage frame = lumivane::ReadImage(dir.File("frame.ppm"));
    EXPECT_EQ(frame.width, 285);
    EXPECT_EQ(frame.height, 285);
    EXPECT_EQ(frame, RenderClock(desktop, Options()));
}

TEST(RenderCommand, PngInAndOutWhereTheBuildHasIt) {
    const ScratchDir dir("render-cli-png");
    const RgbImage desktop = NoiseDesktop(640, 480, 4);
    lumivane::WriteImage(dir.File("desktop.ppm"), desktop);
    const RunResult result = RunTool({"--background", dir.File("desktop.ppm"), "--time", "6:00:00",
                                      "--output", dir.File("frame.png")});
    if (!lumivane::PngSupported()) {
        EXPECT_EQ(result.code, 2);
        EXPECT_EQ(result.err, "lumivane-render: '" + dir.File("frame.png") +
                                  "': PNG images are not supported by this build (use .ppm)\n");
        EXPECT_FALSE(std::filesystem::exists(dir.File("frame.png")));
        return;
    }
    ASSERT_EQ(result.code, 0) << result.err;
    const RgbImage frame = lumivane::ReadImage(dir.File("frame.png"));
    lumivane::WriteImage(dir.File("desktop.png"), desktop);
    ASSERT_EQ(RunTool({"--background", dir.File("desktop.png"), "--time", "6:00:00", "--output",
                       dir.File("again.ppm")})
                  .code,
              0);
    EXPECT_EQ(lumivane::ReadImage(dir.File("again.ppm")), frame);
}

TEST(RenderCommand, UnreadableInputExitsTwoAndWritesNothing) {
    const ScratchDir dir("render-cli-unreadable");
    std::ofstream(dir.File("cut.ppm"), std::ios::binary) << "P6\n100 100\n255\nxyz";
    for (const std::string& input : {dir.File("absent.ppm"), dir.File("cut.ppm")}) {
        const RunResult result =
            RunTool({"--background", input, "--time", "10:10:30", "--output", dir.File("out.ppm")});
        EXPECT_EQ(result.code, 2);
        EXPECT_EQ(result.err.rfind("lumivane-render: '" + input + "': ", 0), 0u) << result.err;
        EXPECT_FALSE(std::filesystem::exists(dir.File("out.ppm")));
    }
}

TEST(RenderCommand, UnknownImageTypeIsRefusedBeforeDrawing) {
    const ScratchDir dir("render-cli-type");
    lumivane::WriteImage(dir.File("desktop.ppm"), NoiseDesktop(100, 100, 1));
    const RunResult result = RunTool({"--background", dir.File("desktop.ppm"), "--time", "10:10:30",
                                      "--output", dir.File("frame.jpg")});
    EXPECT_EQ(result.code, 2);
    EXPECT_EQ(result.err, "lumivane-render: '" + dir.File("frame.jpg") +
                              "': unknown image type (use .ppm or .png)\n");
}

TEST(RenderCommand, UnwritableOutputExitsOne) {
    const ScratchDir dir("render-cli-unwritable");
    lumivane::WriteImage(dir.File("desktop.ppm"), NoiseDesktop(100, 100, 1));
    const std::string output = dir.File("missing-dir/frame.ppm");
    const RunResult result = RunTool(
        {"--background", dir.File("desktop.ppm"), "--time", "10:10:30", "--output", output});
    EXPECT_EQ(result.code, 1);
    EXPECT_EQ(result.err, "lumivane-render: '" + output + "': cannot write the file\n");
}
