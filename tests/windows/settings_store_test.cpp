// The settings store on the real registry, below a test key of its own: the four
// steps, signed values, and a closed store.
#include "tests/windows/test_support.h"

#include <gtest/gtest.h>

#include <climits>

namespace lumivane::windows {
namespace {

using testing_support::ErrorOf;
using testing_support::TestKey;

TEST(SettingsStoreOpen, WithoutCreateLeavesAnAbsentKeyAbsent) {
    TestKey key;
    RegistryStore store(key.Path());
    EXPECT_FALSE(store.OpenStore(false));
    EXPECT_FALSE(key.Exists());
}

TEST(SettingsStoreOpen, WithCreateMakesTheKeyAndTheKeysAboveIt) {
    TestKey key;
    RegistryStore store(key.Path() + "\\Deeper\\Still");
    ASSERT_TRUE(store.OpenStore(true));
    store.CloseStore();
    RegistryStore again(key.Path() + "\\Deeper\\Still");
    EXPECT_TRUE(again.OpenStore(false));
}

TEST(SettingsStoreOpen, ThePathMayStartWithABackslashOrNot) {
    TestKey key;
    key.Write("Size", 23);
    RegistryStore store(key.Relative());
    ASSERT_TRUE(store.OpenStore(false));
    EXPECT_EQ(store.ReadValue("Size"), 23);
}

TEST(SettingsStoreValues, RoundTripSignedThirtyTwoBitValuesAsDwords) {
    TestKey key;
    RegistryStore store(key.Path());
    ASSERT_TRUE(store.OpenStore(true));
    store.WriteValue("Left", -12);
    store.WriteValue("Top", INT32_MIN);
    store.WriteValue("Bright", INT32_MAX);
    EXPECT_EQ(store.ReadValue("Left"), -12);
    EXPECT_EQ(store.ReadValue("Top"), INT32_MIN);
    EXPECT_EQ(store.ReadValue("Bright"), INT32_MAX);
    store.CloseStore();
    EXPECT_EQ(key.Read("Left"), -12); // a REG_DWORD of four bytes
}

TEST(SettingsStoreValues, WritingReplacesAValueOfAnotherType) {
    TestKey key;
    key.WriteText("Size", "12");
    RegistryStore store(key.Path());
    ASSERT_TRUE(store.OpenStore(true));
    store.WriteValue("Size", 20);
    EXPECT_EQ(key.Read("Size"), 20);
}

TEST(SettingsStoreFailures, NothingCanBeWrittenOrReadOnceClosed) {
    TestKey key;
    RegistryStore store(key.Path());
    ASSERT_TRUE(store.OpenStore(true));
    store.WriteValue("Bright", 5);
    store.CloseStore();
    EXPECT_EQ(ErrorOf([&] { store.WriteValue("Bright", 6); }), "Failed to set data for 'Bright'");
    EXPECT_EQ(ErrorOf([&] { store.ReadValue("Bright"); }), "Failed to get data for 'Bright'");
    EXPECT_EQ(key.Read("Bright"), 5);
}

} // namespace
} // namespace lumivane::windows
