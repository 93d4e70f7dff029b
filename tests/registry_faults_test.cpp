// What the removal does when the registry misbehaves, and in which order it acts. These need the
// host registry's fault injection and call log, so they run on the host only.
#include "platform/host/fake_registry.h"
#include "registry/reg_key.h"
#include "registry/registry_cleaner.h"

#include "tests/registry_support.h"
#include "tests/test_keys.h"

#include <algorithm>

namespace {

using fake_registry::Call;

const std::string kTree = TEST_ROOT "\\Tree";
const std::string kTreeName = "HKCU\\" + kTree;

bool IsBelow(const std::string& key, const std::string& ancestor) {
    return key.size() > ancestor.size() && key.compare(0, ancestor.size(), ancestor) == 0 &&
           key[ancestor.size()] == '\\';
}

std::vector<Call> CallsOf(Call::Op op, LONG result) {
    std::vector<Call> calls;
    for (const Call& call : fake_registry::CallLog()) {
        if (call.op == op && call.result == result) {
            calls.push_back(call);
        }
    }
    return calls;
}

size_t CountCalls(Call::Op op) {
    const auto& log = fake_registry::CallLog();
    return std::count_if(log.begin(), log.end(), [op](const Call& c) { return c.op == op; });
}

class RegistryFaultsTest : public RegistryTest {};

TEST_F(RegistryFaultsTest, ReopeningReleasesTheFirstHandleBeforeTheSecondOpen) {
    CreateKey(HKEY_CURRENT_USER, kTree + "\\A");
    RegKey key;
    ASSERT_EQ(1, key.Open(HKEY_CURRENT_USER, kTree.c_str()));
    fake_registry::ClearCallLog();

    ASSERT_EQ(1, key.Open(HKEY_CURRENT_USER, (kTree + "\\A").c_str()));

    EXPECT_EQ(1u, fake_registry::OpenHandleCount());
    const auto& log = fake_registry::CallLog();
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ(Call::kClose, log[0].op);
    EXPECT_EQ(kTreeName, log[0].key);
    EXPECT_EQ(Call::kOpen, log[1].op);

    key.Close();
    key.Close();
    EXPECT_EQ(0u, fake_registry::OpenHandleCount());
    EXPECT_EQ(2u, CountCalls(Call::kClose)) << "a second Close must not close again";
}

TEST_F(RegistryFaultsTest, DeletesEveryKeyOnceAfterAllItsChildrenAndItsEnumeration) {
    for (const char* leaf : {"\\a\\x\\1", "\\a\\x\\2", "\\a\\y\\1", "\\b\\x\\1", "\\b\\z", "\\c"}) {
        SetDwordValue(HKEY_CURRENT_USER, kTree + leaf, "Leaf", 1);
    }
    Snapshot tree = TakeSnapshot(HKEY_CURRENT_USER, kTree);
    std::vector<std::string> keys;
    for (const auto& [line, data] : tree) {
        if (line.find(" [") == std::string::npos) {
            keys.push_back(line);
        }
    }
    fake_registry::ClearCallLog();

    ASSERT_EQ(1, RegistryCleaner().DeleteKeyTree(HKEY_CURRENT_USER, kTree.c_str()));

    std::vector<std::string> deleted;
    for (const Call& call : CallsOf(Call::kDelete, ERROR_SUCCESS)) {
        deleted.push_back(call.key);
    }
    std::vector<std::string> sorted = deleted;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(keys, sorted) << "every key deleted exactly once";
    for (size_t i = 0; i < deleted.size(); ++i) {
        for (size_t j = i + 1; j < deleted.size(); ++j) {
            EXPECT_FALSE(IsBelow(deleted[j], deleted[i]))
                << deleted[j] << " was deleted after its ancestor " << deleted[i];
        }
    }
    const auto& log = fake_registry::CallLog();
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i].op != Call::kDelete)
            continue;
        for (size_t j = i + 1; j < log.size(); ++j) {
            EXPECT_FALSE(log[j].op == Call::kEnum && IsBelow(log[i].key, log[j].key))
                << log[j].key << " was still being enumerated after " << log[i].key
                << " was deleted";
        }
    }
}

TEST_F(RegistryFaultsTest, SubKeyWithoutFullAccessIsNeverActedOn) {
    SetStringValue(HKEY_CURRENT_USER, kTree + "\\Locked\\Deep", "Name", "kept");
    SetStringValue(HKEY_CURRENT_USER, kTree + "\\Open\\Deep", "Name", "removed");
    DenyWriteAccess(HKEY_CURRENT_USER, kTree + "\\Locked");
    fake_registry::ClearCallLog();

    RegistryCleaner().DeleteKeyTree(HKEY_CURRENT_USER, kTree.c_str());

    for (const Call& call : fake_registry::CallLog()) {
        bool touches_locked = call.key.find("\\Locked") != std::string::npos;
        EXPECT_FALSE(touches_locked && call.result == ERROR_SUCCESS)
            << "the locked subtree was acted on: " << call.key;
    }
    auto denied = CallsOf(Call::kDelete, ERROR_ACCESS_DENIED);
    ASSERT_EQ(1u, denied.size()) << "the tree's own delete is still tried";
    EXPECT_EQ(kTreeName, denied[0].key);
}

TEST_F(RegistryFaultsTest, EnumerationFailuresSkipAnIndexOrEndTheEnumeration) {
    struct Case {
        const char* what;
        DWORD index;
        LONG code;
        bool from_then_on;
        std::vector<std::string> left;
    } cases[] = {
        {"one name too long", 1, ERROR_MORE_DATA, false, {"b"}},
        {"one index refused", 0, ERROR_ACCESS_DENIED, false, {"a"}},
        {"key deleted meanwhile", 2, ERROR_KEY_DELETED, true, {"c", "d", "e"}},
        {"every index refused", 0, ERROR_ACCESS_DENIED, true, {"a", "b", "c", "d", "e"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        for (const char* name : {"a", "b", "c", "d", "e"}) {
            CreateKey(HKEY_CURRENT_USER, kTree + "\\" + name);
        }
        fake_registry::FailEnumAt(HKEY_CURRENT_USER, kTree, c.index, c.code, c.from_then_on);
        fake_registry::ClearCallLog();

        EXPECT_EQ(1, RegistryCleaner().DeleteKeyTree(HKEY_CURRENT_USER, kTree.c_str()));

        for (const char* name : {"a", "b", "c", "d", "e"}) {
            bool should_be_left = std::find(c.left.begin(), c.left.end(), name) != c.left.end();
            EXPECT_EQ(should_be_left, KeyExists(HKEY_CURRENT_USER, kTree + "\\" + name)) << name;
        }
        EXPECT_LT(CountCalls(Call::kEnum), 200u) << "the enumeration must end";
        EXPECT_EQ(0u, fake_registry::OpenHandleCount());
    }
}

}  // namespace
