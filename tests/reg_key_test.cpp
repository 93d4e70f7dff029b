#include "registry/reg_key.h"

#include "tests/registry_support.h"
#include "tests/test_keys.h"

namespace {

const char kKey[] = TEST_ROOT "\\Key";

class RegKeyTest : public RegistryTest {};

TEST_F(RegKeyTest, OpenAnswersWhetherTheKeyIsOpen) {
    CreateKey(HKEY_CURRENT_USER, kKey);
    RegKey key;
    EXPECT_EQ(1, key.Open(HKEY_CURRENT_USER, kKey));
    EXPECT_EQ(0, key.Open(HKEY_CURRENT_USER, TEST_ROOT "\\Missing"));
    EXPECT_EQ(1, key.Open(HKEY_CURRENT_USER, TEST_ROOT));
}

TEST_F(RegKeyTest, ReopeningFailedLeavesTheKeyClosed) {
    CreateKey(HKEY_CURRENT_USER, std::string(kKey) + "\\Child");
    RegKey key;
    ASSERT_EQ(1, key.Open(HKEY_CURRENT_USER, kKey));
    ASSERT_EQ(0, key.Open(HKEY_CURRENT_USER, TEST_ROOT "\\Missing"));

    SubKeyNameList names = {"kept"};
    key.EnumSubKeys(names);
    EXPECT_EQ(SubKeyNameList{"kept"}, names) << "a closed key must not enumerate";
    EXPECT_EQ(0, key.HasNoSubKeys());
}

TEST_F(RegKeyTest, EnumeratesInRegistryOrderAndAppends) {
    for (const char* name : {"beta", "Alpha", "gamma"}) {
        CreateKey(HKEY_CURRENT_USER, std::string(kKey) + "\\" + name);
    }
    SetStringValue(HKEY_CURRENT_USER, kKey, "NotAKey", "value");
    RegKey key;
    ASSERT_EQ(1, key.Open(HKEY_CURRENT_USER, kKey));

    SubKeyNameList names = {"earlier"};
    key.EnumSubKeys(names);
    EXPECT_EQ((SubKeyNameList{"earlier", "Alpha", "beta", "gamma"}), names);
}

TEST_F(RegKeyTest, HasNoSubKeysIgnoresValues) {
    struct Case {
        const char* what;
        bool with_value;
        bool with_subkey;
        int expected;
    } cases[] = {
        {"bare key", false, false, 1},
        {"values only", true, false, 1},
        {"one subkey", false, true, 0},
        {"values and a subkey", true, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteTreeForTest(HKEY_CURRENT_USER, kKey);
        CreateKey(HKEY_CURRENT_USER, kKey);
        if (c.with_value) {
            SetDwordValue(HKEY_CURRENT_USER, kKey, "Count", 3);
        }
        if (c.with_subkey) {
            CreateKey(HKEY_CURRENT_USER, std::string(kKey) + "\\Sub");
        }
        RegKey key;
        ASSERT_EQ(1, key.Open(HKEY_CURRENT_USER, kKey));
        EXPECT_EQ(c.expected, key.HasNoSubKeys());
    }
}

TEST_F(RegKeyTest, DeleteSubKeysKeepsTheKeyAndItsValues) {
    const std::string key_path = kKey;
    for (const char* sub : {"\\A\\A1\\A11", "\\A\\A2", "\\B"}) {
        CreateKey(HKEY_CURRENT_USER, key_path + sub);
        SetStringValue(HKEY_CURRENT_USER, key_path + sub, "Name", "data");
    }
    SetStringValue(HKEY_CURRENT_USER, key_path, "Own", "stays");
    RegKey key;
    ASSERT_EQ(1, key.Open(HKEY_CURRENT_USER, kKey));

    key.DeleteSubKeys();

    key.Close();
    Snapshot expected = {{"HKCU\\" + key_path, ""}, {"HKCU\\" + key_path + " [Own]", "1:stays"}};
    EXPECT_EQ(expected, TakeSnapshot(HKEY_CURRENT_USER, kKey));
}

}  // namespace
