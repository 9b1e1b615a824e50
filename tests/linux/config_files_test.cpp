// The Linux program's settings file and autostart entry, without a display.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/error.h"
#include "linux/autostart.h"
#include "linux/config_files.h"
#include "tests/scratch_dir.h"

using namespace lumivane;
using namespace lumivane::gtk;

namespace {

std::string Contents(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string ReadError(SettingsFile& file, const std::string& name) {
    try {
        file.ReadValue(name);
    } catch (const Error& error) {
        return error.what();
    }
    return "";
}

} // namespace

TEST(SettingsFile, WritesAtCloseAndReadsBack) {
    const test::ScratchDir folder("settings-file-test");
    const std::string path = folder.File("config/lumivane/lumivane.conf");
    const PosixFiles files;
    SettingsFile file(path, files);
    EXPECT_FALSE(file.OpenStore(false)); // no file: nothing to read, nothing made
    EXPECT_FALSE(std::filesystem::exists(path));
    ASSERT_TRUE(file.OpenStore(true));
    file.WriteValue("Left", -12);
    EXPECT_FALSE(std::filesystem::exists(path)); // nothing before the close
    file.CloseStore();
    ASSERT_TRUE(file.OpenStore(false));
    EXPECT_EQ(file.ReadValue("Left"), -12);
    EXPECT_EQ(ReadError(file, "Top"), "'Top' is missing from " + path);
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.File("config/lumivane")),
                            std::filesystem::directory_iterator()),
              1); // no temporary file left beside it
}

TEST(SettingsFile, NamesAValueThatIsNoWholeNumber) {
    const test::ScratchDir folder("settings-file-test");
    const std::string path = folder.File("lumivane.conf");
    std::ofstream(path) << "Size=nine\x01teen and a great deal more text than a message shows\n";
    const PosixFiles files;
    SettingsFile file(path, files);
    ASSERT_TRUE(file.OpenStore(false));
    EXPECT_EQ(ReadError(file, "Size"), "'Size' in " + path +
                                           " is not a whole number: \"nine?teen and a great "
                                           "deal more text tha...\"");
}

TEST(SettingsFile, AFileThatCannotBeReadIsNeverReplaced) {
    const test::ScratchDir folder("settings-file-test");
    const std::string path = folder.File("lumivane.conf");
    std::ofstream(path) << std::string(70 * 1024, '#') << "\nSize=19\n";
    const std::string before = Contents(path);
    const PosixFiles files;
    SettingsFile file(path, files);
    ASSERT_TRUE(file.OpenStore(true)); // it is there
    EXPECT_FALSE(file.Readable());
    const std::string why = "The settings file " + path + " is too large to be one";
    EXPECT_EQ(ReadError(file, "Size"), why);
    file.WriteValue("Size", 20);
    try {
        file.CloseStore();
        ADD_FAILURE() << "the close wrote over a file it could not read";
    } catch (const Error& error) {
        EXPECT_EQ(error.what(), why);
    }
    EXPECT_EQ(Contents(path), before);
}

TEST(SettingsFile, AFailedWriteLeavesTheOldFile) {
    const test::ScratchDir folder("settings-file-test");
    const std::string path = folder.File("lumivane.conf");
    std::ofstream(path) << "Size=19\n";
    const PosixFiles files;
    SettingsFile file(path, files);
    ASSERT_TRUE(file.OpenStore(true));
    for (int i = 0; i < 200; ++i) {
        file.WriteValue("Value" + std::to_string(i), i);
    }
    // The file system refuses the new text after its first bytes, as a full disk would.
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit small{512, limit.rlim_max};
    const auto signal = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(file.CloseStore(), Error);
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, signal);
    EXPECT_EQ(Contents(path), "Size=19\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.File("")),
                            std::filesystem::directory_iterator()),
              1); // the temporary file is gone again
}

// A settings file kept as a link (a dotfile manager's) stays a link: the file it names
// is replaced, with its mode.
TEST(SettingsFile, ALinkedFileIsReplacedWhereItLies) {
    const test::ScratchDir folder("settings-file-test");
    std::filesystem::create_directories(folder.File("dotfiles"));
    std::filesystem::create_directories(folder.File("config"));
    std::ofstream(folder.File("dotfiles/lumivane.conf")) << "\xEF\xBB\xBF"
                                                            "Bright=20\n";
    chmod(folder.File("dotfiles/lumivane.conf").c_str(), 0640);
    const std::string link = folder.File("config/lumivane.conf");
    std::filesystem::create_symlink("../dotfiles/lumivane.conf", link);
    const PosixFiles files;
    SettingsFile file(link, files);
    ASSERT_TRUE(file.OpenStore(true));
    EXPECT_EQ(file.ReadValue("Bright"), 20) << "past the byte-order mark";
    file.WriteValue("Size", 25);
    file.CloseStore();
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(Contents(folder.File("dotfiles/lumivane.conf")), "Bright=20\nSize=25\n");
    struct stat info {};
    ASSERT_EQ(stat(link.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST(Autostart, TheEntryStartsTheProgramByItsQuotedPath) {
    EXPECT_NE(Autostart("/usr/bin/lumivane").Entry().find("\nExec=\"/usr/bin/lumivane\"\n"),
              std::string::npos);
    // Quotes, dollars and backslashes are escaped, and the escapes escaped again.
    EXPECT_NE(Autostart("/opt/a \"b\" $c\\d")
                  .Entry()
                  .find("\nExec=\"/opt/a \\\\\"b\\\\\" "
                        "\\\\$c\\\\\\\\d\"\n"),
              std::string::npos);
}

// After an upgrade replaced the running program, the link to it reads "… (deleted)":
// the program that now stands there is named, or none, and no entry names a program
// that is gone.
TEST(Autostart, NamesTheInstalledProgramOrNone) {
    const test::ScratchDir folder("settings-file-test");
    const std::string program = folder.File("lumivane");
    std::ofstream(program) << "#!/bin/sh\n";
    chmod(program.c_str(), 0755);
    EXPECT_EQ(ProgramNamedBy(program + " (deleted)"), program);
    EXPECT_EQ(ProgramNamedBy(program), program);
    EXPECT_EQ(ProgramNamedBy(folder.File("gone (deleted)")), "");
    setenv("XDG_CONFIG_HOME", folder.File("config").c_str(), 1);
    EXPECT_THROW(Autostart("").Enable(), Error);
    EXPECT_FALSE(std::filesystem::exists(Autostart::Path()));
    Autostart(program).Enable();
    EXPECT_TRUE(Autostart(program).Enabled());
    unsetenv("XDG_CONFIG_HOME");
}
