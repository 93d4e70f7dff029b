#include "registry/registry_cleaner.h"

#include "tests/registry_support.h"
#include "tests/test_keys.h"

namespace {

const std::string kRoot = TEST_ROOT;
const std::string kTree = kRoot + "\\Tree";

class RegistryCleanerTest : public RegistryTest {
protected:
    // Three levels below the tree's top, three subkeys at each, every key with a value.
    void BuildDeepTree() {
        SetStringValue(HKEY_CURRENT_USER, kTree, "", "top");
        for (const char* a : {"a", "b", "c"}) {
            for (const char* b : {"x", "y", "z"}) {
                for (const char* c : {"1", "2", "3"}) {
                    std::string path = kTree + "\\" + a + "\\" + b + "\\" + c;
                    SetDwordValue(HKEY_CURRENT_USER, path, "Depth", 3);
                }
                SetDwordValue(HKEY_CURRENT_USER, kTree + "\\" + a + "\\" + b, "Depth", 2);
            }
        }
    }

    RegistryCleaner cleaner_;
};

TEST_F(RegistryCleanerTest, DeleteKeyTreeOnMissingKeyChangesNothing) {
    SetStringValue(HKEY_CURRENT_USER, kRoot + "\\Neighbour", "Name", "data");
    Snapshot before = TakeSnapshot(HKEY_CURRENT_USER, kRoot);

    EXPECT_EQ(0, cleaner_.DeleteKeyTree(HKEY_CURRENT_USER, kTree.c_str()));

    EXPECT_EQ(before, TakeSnapshot(HKEY_CURRENT_USER, kRoot));
}

TEST_F(RegistryCleanerTest, DeleteKeyTreeRemovesLeafWithValues) {
    SetStringValue(HKEY_CURRENT_USER, kTree, "Name", "data");
    SetDwordValue(HKEY_CURRENT_USER, kTree, "Number", 7);

    EXPECT_EQ(1, cleaner_.DeleteKeyTree(HKEY_CURRENT_USER, kTree.c_str()));

    EXPECT_KEY_ABSENT(HKEY_CURRENT_USER, kTree);
    EXPECT_KEY_PRESENT(HKEY_CURRENT_USER, kRoot);
}

TEST_F(RegistryCleanerTest, DeleteKeyTreeRemovesEveryLevelAndNoNeighbour) {
    BuildDeepTree();
    SetStringValue(HKEY_CURRENT_USER, kRoot + "\\Tree2\\a", "Name", "neighbour");
    SetStringValue(HKEY_CURRENT_USER, kRoot, "Name", "parent's value");
    Snapshot expected = Without(TakeSnapshot(HKEY_CURRENT_USER, kRoot), HKEY_CURRENT_USER, kTree);

    EXPECT_EQ(1, cleaner_.DeleteKeyTree(HKEY_CURRENT_USER, kTree.c_str()));

    EXPECT_EQ(expected, TakeSnapshot(HKEY_CURRENT_USER, kRoot));
}

TEST_F(RegistryCleanerTest, IsKeyEmpty) {
    SetStringValue(HKEY_CURRENT_USER, kRoot + "\\ValuesOnly", "Name", "data");
    CreateKey(HKEY_CURRENT_USER, kRoot + "\\Bare");
    CreateKey(HKEY_CURRENT_USER, kRoot + "\\OneSubKey\\Sub");
    struct Case {
        std::string path;
        int expected;
    } cases[] = {
        {kRoot + "\\ValuesOnly", 1},
        {kRoot + "\\Bare", 1},
        {kRoot + "\\OneSubKey", 0},
        {kRoot + "\\Missing", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, cleaner_.IsKeyEmpty(HKEY_CURRENT_USER, c.path.c_str())) << c.path;
    }
    EXPECT_KEY_PRESENT(HKEY_CURRENT_USER, kRoot + "\\OneSubKey\\Sub");
}

TEST_F(RegistryCleanerTest, SubKeyWithoutFullAccessIsLeftWithEverythingBelowIt) {
    SetStringValue(HKEY_CURRENT_USER, kTree + "\\Locked\\Deep", "Name", "kept");
    SetStringValue(HKEY_CURRENT_USER, kTree + "\\Open\\Deep", "Name", "removed");
    DenyWriteAccess(HKEY_CURRENT_USER, kTree + "\\Locked");
    Snapshot locked = TakeSnapshot(HKEY_CURRENT_USER, kTree + "\\Locked");

    EXPECT_EQ(1, cleaner_.DeleteKeyTree(HKEY_CURRENT_USER, kTree.c_str()))
        << "the tree could be opened, so its removal counts as tried";

    EXPECT_EQ(locked, TakeSnapshot(HKEY_CURRENT_USER, kTree + "\\Locked"));
    EXPECT_KEY_ABSENT(HKEY_CURRENT_USER, kTree + "\\Open");
    EXPECT_KEY_PRESENT(HKEY_CURRENT_USER, kTree) << "a key with a subkey left cannot go";
}

}  // namespace
