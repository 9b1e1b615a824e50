// The settings file's rules, whatever file system keeps it: whole numbers, the lines it
// keeps and the line ends it writes, and a file that names nothing yet (a user made it,
// empty, to say where the settings live) read and filled by the clock's life.
#include <gtest/gtest.h>

#include <climits>
#include <map>

#include "core/controller/clock_controller.h"
#include "core/settings/settings_file.h"
#include "tests/core/controller/fake_platform.h"

namespace lumivane {
namespace {

using testing_support::FakePlatform;

TEST(ParseWholeNumber, TakesSigned32BitNumbersAndNothingElse) {
    for (const auto& [text, value] : {std::pair{"0", 0},
                                      {"19", 19},
                                      {"+7", 7},
                                      {"-540", -540},
                                      {"2147483647", 2147483647},
                                      {"-2147483648", INT32_MIN}}) {
        EXPECT_EQ(ParseWholeNumber(text), value) << text;
    }
    for (const char* text : {"", "+", "-", "1.5", "19 px", "0x13", "2147483648", "++1", " 1"}) {
        EXPECT_FALSE(ParseWholeNumber(text).has_value()) << text;
    }
}

TEST(SettingsText, KeepsWhatItDoesNotKnowAndReplacesTheLineThatCounts) {
    SettingsText text("# mine\nSize = 12\r\nColour=red\nSize=19\n\nnot a setting\n");
    EXPECT_EQ(text.Find("Size"), "19"); // the last line counts
    EXPECT_EQ(text.Find("Colour"), "red");
    EXPECT_FALSE(text.Find("Bright").has_value());
    text.Set("Size", 20);
    text.Set("Bright", 30);
    EXPECT_EQ(text.Text(), "# mine\nColour=red\nSize=20\n\nnot a setting\nBright=30\n");
}

// A file keeps the line end of its first line; one without any takes the system's.
// Byte-order marks (UTF-8's, and UTF-16's of Notepad's "Unicode") are read past; the
// program writes UTF-8 without one.
TEST(SettingsText, KeepsTheFilesLineEndsAndReadsPastByteOrderMarks) {
    using namespace std::string_literals;
    const struct {
        std::string file;
        const char* systemEnd;
        std::string written; // after Size=20 is set
    } kCases[] = {
        {"Size=19\r\nBright=3\r\n", "\n", "Size=20\r\nBright=3\r\n"},
        {"Size=19\nBright=3\r\n", "\r\n", "Size=20\nBright=3\n"},
        {"", "\r\n", "Size=20\r\n"},
        {"Size=19", "\r\n", "Size=20\r\n"},
        {"\xEF\xBB\xBFSize=19\r\n", "\n", "Size=20\r\n"},
        {"\xFF\xFE"
         "S\0i\0z\0e\0=\0"
         "1\0009\0\r\0\n\0#\0 \0\xFC\0\r\0\n\0"s,
         "\n", "Size=20\r\n# ?\r\n"},
    };
    for (const auto& [file, systemEnd, written] : kCases) {
        SettingsText text(file, systemEnd);
        if (file.find('S') != std::string::npos) {
            EXPECT_EQ(text.Find("Size"), "19") << file;
        }
        text.Set("Size", 20);
        EXPECT_EQ(text.Text(), written) << file;
    }
}

// Files in memory, as a front end would keep them.
struct MemoryFiles final : FileAccess {
    mutable std::map<std::string, std::string> files;
    std::optional<std::string> Read(const std::string& path, size_t) const override {
        const auto found = files.find(path);
        return found == files.end() ? std::nullopt : std::optional(found->second);
    }
    void Replace(const std::string& path, const std::string& text) const override {
        files[path] = text;
    }
    std::string_view LineEnd() const override { return "\r\n"; }
};

constexpr const char* kPath = "D:\\Lumivane\\Lumivane.ini";

struct ClockOnAFile {
    MemoryFiles files;
    FakePlatform platform;
    ClockState state;
    ClockController controller{state, platform};

    explicit ClockOnAFile(const std::string& text) {
        files.files[kPath] = text;
        platform.store = [this] { return std::make_unique<SettingsFile>(kPath, files); };
    }
};

// An empty file, or one of comments alone, is a first start without a message: the
// defaults go into it, after what it held. Emptied while the clock runs, it is filled
// whole again by the next save, as a file made anew.
TEST(SettingsFileLife, AFileThatNamesNothingIsAFirstStartAndIsFilledWhole) {
    const std::string defaults = "Bright=30\r\nSize=19\r\nAlgoritm=0\r\nContrast=6\r\nLeft=540\r\n"
                                 "Top=0\r\nStart_1=1\r\n";
    for (const std::string before : {"", "; mine\r\nColour=red\r\n"}) {
        ClockOnAFile clock(before);
        clock.controller.Start();
        EXPECT_EQ(clock.controller.StartupProblem(), "") << before;
        EXPECT_EQ(clock.state.StartCount, 1) << before;
        EXPECT_EQ(clock.files.files[kPath], before + defaults);
    }
    ClockOnAFile clock("");
    clock.controller.Start();
    clock.files.files[kPath] = "";
    clock.controller.Moved({600, 300});
    clock.controller.SavePlaceIfMoved();
    EXPECT_EQ(clock.files.files[kPath], "Bright=30\r\nSize=19\r\nAlgoritm=0\r\nContrast=6\r\n"
                                        "Left=600\r\nTop=300\r\nStart_1=1\r\n");
}

} // namespace
} // namespace lumivane
