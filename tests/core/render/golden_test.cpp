// Golden frames: whole frames of the clock pinned by a checksum, so that a change to
// any pixel of any frame shows. The desktops are made in code (test_desktops.h) and
// each frame is composed by RenderClock, as lumivane-render composes it. The native
// build and both Windows builds (under Wine) must give the same sums.
//
// The sums, FNV-1a 64 over a picture's RGB bytes with the top row first, live in
// tests/golden/frames.txt, one line per desktop and per frame. After an intended
// change to the picture, rewrite that file and look at the frames before committing:
//
//   LUMIVANE_REGENERATE_GOLDEN=1 build/native/tests/lumivane_unit_tests --gtest_filter='Golden*'
//   LUMIVANE_GOLDEN_IMAGES=/tmp/golden build/native/tests/lumivane_unit_tests
//   --gtest_filter='Golden*'
//
// The second writes every frame to /tmp/golden as PNG (PPM in builds without PNG).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/tools/render/test_desktops.h"
#include "tools/render/render_cli.h"

using lumivane::RgbImage;

namespace {

enum class Pattern { Gradient, Checker, Noise };

struct DesktopRecipe {
    Pattern pattern;
    int32_t width;
    int32_t height;
};

struct GoldenCase {
    const char* name;
    DesktopRecipe desktop;
    std::vector<std::string> arguments; // after --background, --output
};

// Diameters 95 to 1000 cover Thickness 1 to 6; odd ones put the centre between pixels.
const std::vector<GoldenCase>& Cases() {
    static const std::vector<GoldenCase> cases = {
        {"d95-gradient-101030", {Pattern::Gradient, 400, 250}, {"--time", "10:10:30"}},
        {"d150-checker-size10-030000",
         {Pattern::Checker, 1366, 768},
         {"--time", "03:00:00", "--size", "10"}},
        {"d285-noise-101030", {Pattern::Noise, 1366, 768}, {"--time", "10:10:30"}},
        {"d285-noise-algoritm1-043712",
         {Pattern::Noise, 1366, 768},
         {"--time", "04:37:12", "--algoritm", "1"}},
        {"d285-noise-algoritm2-082248",
         {Pattern::Noise, 1366, 768},
         {"--time", "08:22:48", "--algoritm", "2"}},
        {"d285-noise-algoritm3-134505",
         {Pattern::Noise, 1366, 768},
         {"--time", "13:45:05", "--algoritm", "3"}},
        {"d285-noise-algoritm4-190357",
         {Pattern::Noise, 1366, 768},
         {"--time", "19:03:57", "--algoritm", "4"}},
        {"d285-noise-algoritm5-235959",
         {Pattern::Noise, 1366, 768},
         {"--time", "23:59:59", "--algoritm", "5"}},
        {"d285-gradient-bright0-071545",
         {Pattern::Gradient, 1366, 768},
         {"--time", "07:15:45", "--bright", "0"}},
        {"d285-gradient-contrast0-071545",
         {Pattern::Gradient, 1366, 768},
         {"--time", "07:15:45", "--contrast", "0"}},
        {"d285-checker-bright12-contrast15-111111",
         {Pattern::Checker, 1366, 768},
         {"--time", "11:11:11", "--bright", "12", "--contrast", "15"}},
        {"d285-gradient-offdesktop-101030",
         {Pattern::Gradient, 1366, 768},
         {"--time", "10:10:30", "--left", "-100", "--top", "-60"}},
        {"d300-gradient-size20-025020",
         {Pattern::Gradient, 1366, 768},
         {"--time", "02:50:20", "--size", "20"}},
        {"d450-checker-size30-063015",
         {Pattern::Checker, 1366, 768},
         {"--time", "06:30:15", "--size", "30"}},
        {"d600-noise-size40-120000",
         {Pattern::Noise, 1366, 768},
         {"--time", "12:00:00", "--size", "40"}},
        {"d700-noise-size50-000000",
         {Pattern::Noise, 1024, 700},
         {"--time", "00:00:00", "--size", "50"}},
        {"d1000-gradient-size50-094127",
         {Pattern::Gradient, 1280, 1024},
         {"--time", "09:41:27", "--size", "50"}},
        // Values a registry could hold but the settings window cannot set.
        {"d768-noise-size60-055555",
         {Pattern::Noise, 1366, 768},
         {"--time", "05:55:55", "--size", "60"}},
        {"d285-noise-bright45-contrast20-101030",
         {Pattern::Noise, 1366, 768},
         {"--time", "10:10:30", "--bright", "45", "--contrast", "20"}},
        {"d285-noise-algoritm9-101030",
         {Pattern::Noise, 1366, 768},
         {"--time", "10:10:30", "--algoritm", "9"}},
    };
    return cases;
}

std::string DesktopName(const DesktopRecipe& recipe) {
    const char* pattern = recipe.pattern == Pattern::Gradient  ? "gradient"
                          : recipe.pattern == Pattern::Checker ? "checker"
                                                               : "noise";
    return std::string(pattern) + "-" + std::to_string(recipe.width) + "x" +
           std::to_string(recipe.height);
}

RgbImage MakeDesktop(const DesktopRecipe& recipe) {
    switch (recipe.pattern) {
    case Pattern::Gradient:
        return lumivane::test::GradientDesktop(recipe.width, recipe.height);
    case Pattern::Checker:
        return lumivane::test::CheckerDesktop(recipe.width, recipe.height, 16);
    case Pattern::Noise:
        break;
    }
    return lumivane::test::NoiseDesktop(recipe.width, recipe.height, 20261207);
}

// One line of the table: what it pins, its size, its checksum.
struct Pin {
    std::string kind; // "desktop" or "frame"
    std::string name;
    std::string size; // WxH
    uint64_t checksum = 0;
};

std::string SizeText(const RgbImage& image) {
    return std::to_string(image.width) + "x" + std::to_string(image.height);
}

std::string Hex(uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

std::string TablePath() {
    return std::string(LUMIVANE_SOURCE_DIR) + "/tests/golden/frames.txt";
}

std::map<std::string, Pin> ReadTable() {
    std::map<std::string, Pin> pins;
    std::ifstream file(TablePath());
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream fields(line);
        Pin pin;
        std::string hex;
        fields >> pin.kind >> pin.name >> pin.size >> hex;
        pin.checksum = std::strtoull(hex.c_str(), nullptr, 16);
        pins[pin.kind + " " + pin.name] = pin;
    }
    return pins;
}

void WriteTable(const std::vector<Pin>& pins) {
    std::ofstream file(TablePath(), std::ios::binary | std::ios::trunc);
    file << "# Golden pictures: FNV-1a 64 of the RGB bytes, top row first.\n"
            "# Written by LUMIVANE_REGENERATE_GOLDEN=1; see tests/core/golden_test.cpp.\n";
    for (const Pin& pin : pins) {
        file << pin.kind << ' ' << pin.name << ' ' << pin.size << ' ' << Hex(pin.checksum) << '\n';
    }
    ASSERT_TRUE(file.flush()) << "cannot write " << TablePath();
}

bool EnvironmentSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

bool Regenerating() {
    return EnvironmentSet("LUMIVANE_REGENERATE_GOLDEN");
}

void SaveForViewing(const std::string& name, const RgbImage& image) {
    const char* folder = std::getenv("LUMIVANE_GOLDEN_IMAGES");
    if (folder == nullptr || *folder == '\0') {
        return;
    }
    std::filesystem::create_directories(folder);
    const char* extension = lumivane::PngSupported() ? ".png" : ".ppm";
    lumivane::WriteImage((std::filesystem::path(folder) / (name + extension)).string(), image);
}

RgbImage RenderCase(const GoldenCase& golden, const RgbImage& desktop) {
    std::vector<std::string> arguments = {"--background", "desktop.ppm", "--output", "frame.ppm"};
    arguments.insert(arguments.end(), golden.arguments.begin(), golden.arguments.end());
    return lumivane::RenderClock(desktop, lumivane::ParseRenderArguments(arguments));
}

// Compares what was made with the table, or rewrites the table when asked to.
void CheckPins(const std::vector<Pin>& made, const std::string& kind) {
    if (Regenerating()) {
        return;
    }
    const std::map<std::string, Pin> table = ReadTable();
    const std::string hint = "\nIf the change is intended, look at the frames "
                             "(LUMIVANE_GOLDEN_IMAGES=<folder>) and regenerate the table "
                             "(LUMIVANE_REGENERATE_GOLDEN=1); see tests/core/golden_test.cpp.";
    size_t pinnedOfKind = 0;
    for (const auto& [key, pin] : table) {
        pinnedOfKind += pin.kind == kind ? 1 : 0;
    }
    EXPECT_EQ(pinnedOfKind, made.size())
        << "the table " << TablePath() << " lists " << pinnedOfKind << " " << kind
        << " entries for " << made.size() << " cases" << hint;
    for (const Pin& pin : made) {
        const auto found = table.find(pin.kind + " " + pin.name);
        if (found == table.end()) {
            ADD_FAILURE() << pin.kind << " " << pin.name << " has no checksum in " << TablePath()
                          << hint;
            continue;
        }
        EXPECT_EQ(pin.size, found->second.size) << pin.kind << " " << pin.name;
        EXPECT_EQ(Hex(pin.checksum), Hex(found->second.checksum))
            << pin.kind << " " << pin.name << " differs from its golden checksum" << hint;
    }
}

} // namespace

TEST(GoldenChecksum, IsFnv1a64) {
    EXPECT_EQ(lumivane::test::Fnv1a64(std::string_view("")), 0xcbf29ce484222325u);
    EXPECT_EQ(lumivane::test::Fnv1a64(std::string_view("a")), 0xaf63dc4c8601ec8cu);
    EXPECT_EQ(lumivane::test::Fnv1a64(std::string_view("foobar")), 0x85944171f73967e8u);
}

TEST(GoldenFrames, MatchTheirPinnedChecksums) {
    std::map<std::string, RgbImage> desktops;
    std::vector<Pin> desktopPins;
    std::vector<Pin> framePins;
    for (const GoldenCase& golden : Cases()) {
        const std::string desktopName = DesktopName(golden.desktop);
        if (!desktops.contains(desktopName)) {
            RgbImage desktop = MakeDesktop(golden.desktop);
            desktopPins.push_back({"desktop", desktopName, SizeText(desktop),
                                   lumivane::test::Fnv1a64(desktop.pixels)});
            desktops.emplace(desktopName, std::move(desktop));
        }
        const RgbImage frame = RenderCase(golden, desktops.at(desktopName));
        framePins.push_back(
            {"frame", golden.name, SizeText(frame), lumivane::test::Fnv1a64(frame.pixels)});
        SaveForViewing(golden.name, frame);
    }
    // A changed desktop changes every frame drawn over it: say which it was.
    CheckPins(desktopPins, "desktop");
    CheckPins(framePins, "frame");
    if (Regenerating()) {
        std::vector<Pin> all = desktopPins;
        all.insert(all.end(), framePins.begin(), framePins.end());
        WriteTable(all);
        std::printf("Rewrote %s with %zu checksums.\n", TablePath().c_str(), all.size());
    }
}

TEST(GoldenFrames, DiametersCoverEveryThickness) {
    // Thickness is Trunc(Diameter / 100) + 1, at most 6: 95 .. 1000 reach all six.
    std::set<int32_t> diameters;
    for (const GoldenCase& golden : Cases()) {
        std::vector<std::string> arguments = {"--background", "d.ppm", "--output", "f.ppm"};
        arguments.insert(arguments.end(), golden.arguments.begin(), golden.arguments.end());
        diameters.insert(lumivane::PlaceClock(lumivane::ParseRenderArguments(arguments),
                                              {golden.desktop.width, golden.desktop.height})
                             .diameter);
    }
    for (int32_t diameter : {95, 150, 285, 300, 450, 600, 700, 768, 1000}) {
        EXPECT_TRUE(diameters.contains(diameter)) << diameter;
    }
}
