// Portable mode on the real file system under Wine: the settings file's reads and its
// replacement at once (a failed write leaves the old file, a read-only file is refused
// with its name and the reason), paths beyond ASCII, and the choice of the store by
// Lumivane.ini beside the program.
#include "windows/portable_mode.h"

#include "tests/windows/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/error.h"
#include "windows/handles.h"
#include "windows/text.h"

namespace lumivane::windows {
namespace {

using testing_support::ErrorOf;
using testing_support::TestKey;

// A folder of the test's own in the temporary folder, its name beyond ASCII as a user's
// may be; removed with what it holds.
class Folder {
  public:
    Folder() {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::wstring(temp) + L"Lumivane Uhr \u00e4\u00f6 " + Widened(test->name());
        Clear();
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~Folder() { Clear(); }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    std::wstring Wide(const wchar_t* name) const { return path_ + L"\\" + name; }
    // The path as the core keeps it, in UTF-8.
    std::string File(const wchar_t* name) const { return Narrowed(Wide(name)); }

    void Put(const wchar_t* name, const std::string& text) const {
        const KernelHandle file = FileHandle(
            CreateFileW(Wide(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file);
        DWORD wrote = 0;
        ASSERT_TRUE(
            WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr));
    }
    std::string Contents(const wchar_t* name) const {
        return WindowsFiles().Read(File(name), 1 << 20).value_or("(no file)");
    }
    std::vector<std::wstring> Names() const {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found{};
        const HANDLE search = FindFirstFileW((path_ + L"\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) {
            return names;
        }
        do {
            if (std::wstring(found.cFileName) != L"." && std::wstring(found.cFileName) != L"..") {
                names.push_back(found.cFileName);
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
        return names;
    }

  private:
    void Clear() const {
        for (const std::wstring& name : Names()) {
            SetFileAttributesW(Wide(name.c_str()).c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(Wide(name.c_str()).c_str());
            RemoveDirectoryW(Wide(name.c_str()).c_str());
        }
        RemoveDirectoryW(path_.c_str());
    }

    std::wstring path_;
};

const WindowsFiles kFiles;

TEST(WindowsFiles, ReadsWhatIsThereAndNothingWhereNothingIs) {
    const Folder folder;
    EXPECT_EQ(kFiles.Read(folder.File(L"Lumivane.ini"), 100), std::nullopt);
    EXPECT_EQ(kFiles.Read(folder.File(L"gone\\Lumivane.ini"), 100), std::nullopt);
    folder.Put(L"Lumivane.ini", std::string(5000, '#'));
    EXPECT_EQ(kFiles.Read(folder.File(L"Lumivane.ini"), 10000)->size(), 5000u);
    EXPECT_GT(kFiles.Read(folder.File(L"Lumivane.ini"), 100)->size(), 100u) << "past the limit";
}

// A new file, then the old one replaced: the new text, the old file's hidden attribute,
// and nothing left beside it.
TEST(WindowsFiles, ReplacesAtOnceAndLeavesNothingBeside) {
    const Folder folder;
    const std::string path = folder.File(L"Lumivane.ini");
    kFiles.Replace(path, "Size=19\r\n");
    EXPECT_EQ(folder.Contents(L"Lumivane.ini"), "Size=19\r\n");
    const bool hides =
        SetFileAttributesW(folder.Wide(L"Lumivane.ini").c_str(), FILE_ATTRIBUTE_HIDDEN) &&
        GetFileAttributesW(folder.Wide(L"Lumivane.ini").c_str()) & FILE_ATTRIBUTE_HIDDEN;
    kFiles.Replace(path, "Size=20\r\n");
    EXPECT_EQ(folder.Contents(L"Lumivane.ini"), "Size=20\r\n");
    if (hides) {
        EXPECT_TRUE(GetFileAttributesW(folder.Wide(L"Lumivane.ini").c_str()) &
                    FILE_ATTRIBUTE_HIDDEN);
    }
    EXPECT_EQ(folder.Names(), std::vector<std::wstring>{L"Lumivane.ini"});
}

// Scoop keeps a persisted Lumivane.ini as a hard link into its persist folder: both
// names keep seeing one file.
TEST(WindowsFiles, AFileOfSeveralNamesIsWrittenWhereItIs) {
    const Folder folder;
    folder.Put(L"persisted.ini", "Size=19\r\nBright=30\r\n");
    ASSERT_TRUE(CreateHardLinkW(folder.Wide(L"Lumivane.ini").c_str(),
                                folder.Wide(L"persisted.ini").c_str(), nullptr));
    kFiles.Replace(folder.File(L"Lumivane.ini"), "Size=20\r\n");
    EXPECT_EQ(folder.Contents(L"persisted.ini"), "Size=20\r\n");
    EXPECT_EQ(folder.Contents(L"Lumivane.ini"), "Size=20\r\n");
}

// A read-only file, a file another program holds open, a folder that is gone: the message
// names the file and the system's reason, and the old file stays as it was.
TEST(WindowsFiles, AFailedWriteLeavesTheOldFileAndSaysWhy) {
    const Folder folder;
    const std::string path = folder.File(L"Lumivane.ini");
    folder.Put(L"Lumivane.ini", "Size=19\r\n");

    SetFileAttributesW(folder.Wide(L"Lumivane.ini").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(ErrorOf([&] { kFiles.Replace(path, "Size=20\r\n"); }),
              "Cannot write " + path + ": " + SystemReason(ERROR_ACCESS_DENIED));
    SetFileAttributesW(folder.Wide(L"Lumivane.ini").c_str(), FILE_ATTRIBUTE_NORMAL);

    {
        const KernelHandle held = FileHandle(
            CreateFileW(folder.Wide(L"Lumivane.ini").c_str(), GENERIC_READ,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        EXPECT_EQ(ErrorOf([&] {
                      kFiles.Replace(path, "Size=20\r\n");
                  }).rfind("Cannot write " + path + ": ", 0),
                  0u);
    }
    EXPECT_EQ(folder.Contents(L"Lumivane.ini"), "Size=19\r\n");
    EXPECT_EQ(folder.Names(), std::vector<std::wstring>{L"Lumivane.ini"});

    const std::string gone = folder.File(L"gone\\Lumivane.ini");
    EXPECT_EQ(ErrorOf([&] { kFiles.Replace(gone, "Size=20\r\n"); }),
              "Cannot write " + gone + ": " + SystemReason(ERROR_PATH_NOT_FOUND));
}

// Lumivane.ini beside the program, empty or not, is the store, and the registry is left
// alone; without it (or with a folder of that name) the registry key is.
TEST(PortableMode, TheFileBesideTheProgramIsTheStore) {
    const Folder folder;
    const TestKey key;
    const std::wstring program = folder.Wide(L"Lumivane.exe");
    const auto write = [](const StoreMaker& maker) {
        const auto store = maker();
        store->CreateStore();
        store->WriteValue("Size", 23);
        store->CloseStore();
    };

    CreateDirectoryW(folder.Wide(L"Lumivane.ini").c_str(), nullptr);
    write(ChooseSettingsStore(program, key.Path()));
    EXPECT_EQ(key.Read("Size"), 23);
    RemoveDirectoryW(folder.Wide(L"Lumivane.ini").c_str());
    RegDeleteTreeA(HKEY_CURRENT_USER, key.Relative().c_str());

    folder.Put(L"Lumivane.ini", "");
    const StoreMaker chosen = ChooseSettingsStore(program, key.Path());
    EXPECT_FALSE(chosen()->OpenStore(false)) << "an empty file: nothing stored yet";
    write(chosen);
    EXPECT_EQ(folder.Contents(L"Lumivane.ini"), "Size=23\r\n");
    EXPECT_FALSE(key.Exists());

    // Another program holds it open to itself: it cannot be read, and says why once.
    const KernelHandle held = FileHandle(CreateFileW(
        folder.Wide(L"Lumivane.ini").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    const auto store = chosen();
    ASSERT_TRUE(store->OpenStore(false));
    EXPECT_FALSE(store->Readable());
    EXPECT_EQ(store->UnreadProblem(ErrorOf([&] { store->ReadValue("Size"); })),
              "Cannot read the settings file " + folder.File(L"Lumivane.ini") + ": " +
                  SystemReason(ERROR_SHARING_VIOLATION) +
                  " The clock uses the defaults for what it could not read.");
}

} // namespace
} // namespace lumivane::windows
