// Start with Windows: the Run value names this program by its quoted path, is
// replaced when it names another copy, and is deleted only when it is ours.
#include "windows/autostart.h"

#include "tests/windows/test_support.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace lumivane::windows {
namespace {

using testing_support::TestKey;

constexpr const wchar_t* kProgram =
    L"C:\\Users\\Ann\\AppData\\Local\\Programs\\Lumivane\\Lumivane.exe";

std::wstring Wide(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

class AutostartValue : public ::testing::Test {
  protected:
    void Store(DWORD type, const std::wstring& text) const {
        HKEY opened = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, Wide(key.Relative()).c_str(), 0, nullptr, 0,
                                  KEY_SET_VALUE, nullptr, &opened, nullptr),
                  ERROR_SUCCESS);
        const RegistryKey owned(opened);
        EXPECT_EQ(RegSetValueExW(opened, kRunValueName, 0, type,
                                 reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    // The stored value as REG_SZ text; nothing when absent or of another type.
    std::optional<std::wstring> Stored() const {
        wchar_t text[512] = {};
        DWORD size = sizeof text;
        if (RegGetValueW(HKEY_CURRENT_USER, Wide(key.Relative()).c_str(), kRunValueName,
                         RRF_RT_REG_SZ | RRF_NOEXPAND, nullptr, text, &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        return text;
    }

    TestKey key;
    Autostart autostart{kProgram, Wide(key.Relative())};
    const std::wstring quoted = std::wstring(L"\"") + kProgram + L"\"";
};

TEST_F(AutostartValue, IsAbsentUntilTheUserAsks) {
    EXPECT_FALSE(autostart.Enabled());
    EXPECT_NO_THROW(autostart.Disable());
    EXPECT_FALSE(key.Exists());
}

// What a value already there means, and what each action leaves of it.
TEST_F(AutostartValue, StoredValuesAreOursOnlyWhenTheyNameThisProgramQuoted) {
    struct Case {
        const char* what;
        DWORD type;
        std::wstring text;
        bool ours;
    };
    const Case cases[] = {
        {"ours", REG_SZ, quoted, true},
        {"ours in other letter case", REG_SZ,
         L"\"c:\\users\\ann\\appdata\\local\\PROGRAMS\\lumivane\\LUMIVANE.EXE\"", true},
        {"ours through a variable", REG_EXPAND_SZ,
         L"\"%LUMIVANE_TEST_ROOT%\\AppData\\Local\\Programs\\Lumivane\\Lumivane.exe\"", true},
        {"an old copy", REG_SZ, L"\"C:\\Tools\\Lumivane.exe\"", false},
        {"ours unquoted", REG_SZ, kProgram, false},
        {"ours with an argument", REG_SZ, quoted + L" --hidden", false},
        {"empty", REG_SZ, L"", false},
        {"not text", REG_BINARY, L"ab", false},
    };
    SetEnvironmentVariableW(L"LUMIVANE_TEST_ROOT", L"C:\\Users\\Ann");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Store(c.type, c.text);
        EXPECT_EQ(autostart.Enabled(), c.ours);

        // Unchecking deletes only a value of ours; another copy's stays as it was.
        autostart.Disable();
        EXPECT_FALSE(autostart.Enabled());
        const bool kept = c.type == REG_SZ && Stored() == c.text;
        EXPECT_EQ(kept, !c.ours && c.type == REG_SZ);

        // Checking replaces whatever is there with ours.
        Store(c.type, c.text);
        autostart.Enable();
        EXPECT_EQ(Stored(), quoted);
        EXPECT_TRUE(autostart.Enabled());
    }
    SetEnvironmentVariableW(L"LUMIVANE_TEST_ROOT", nullptr);
}

TEST(Autostart, NamesTheRunningProgramByItsFullPath) {
    const std::wstring path = RunningProgramPath();
    EXPECT_EQ(path.substr(1, 2), L":\\") << "not a full path";
    EXPECT_TRUE(path.ends_with(L"lumivane_win_tests.exe"));
    EXPECT_EQ(Autostart().Command(), L"\"" + path + L"\"");
}

} // namespace
} // namespace lumivane::windows
