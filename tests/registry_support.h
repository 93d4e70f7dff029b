// Building and reading registry trees for tests, through the ordinary Reg* functions only, so the
// same tests run against the host's in-memory registry and against a real one.
#pragma once

#include "platform/windows_api.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

// "HKCR\..." or "HKCU\..." for messages and snapshots.
std::string RootName(HKEY root);

// Creates the key and any missing parents.
void CreateKey(HKEY root, const std::string& path);
void SetStringValue(HKEY root, const std::string& path, const std::string& name,
                    const std::string& data);
void SetDwordValue(HKEY root, const std::string& path, const std::string& name, DWORD data);

bool KeyExists(HKEY root, const std::string& path);

// The kernel's name for HKEY_CURRENT_USER, such as \Registry\User\S-1-5-21-...: the form a
// registry link names its target in.
std::string CurrentUserKernelPath();

// Makes `path` a registry link to `kernel_target`.
void CreateLink(HKEY root, const std::string& path, const std::string& kernel_target);

// From now on the key grants everyone reading only: opening it with full access, or deleting it,
// fails with ERROR_ACCESS_DENIED. Fixtures give the access back before they clear the keys.
void DenyWriteAccess(HKEY root, const std::string& path);

// Removes a tree without the program's own code, so a fixture can start from nothing.
void DeleteTreeForTest(HKEY root, const std::string& path);

// Every key and value of the tree at `path`, as lines such as "HKCU\A\B" for a key and
// "HKCU\A\B [name] 1:text" for a value (type, then the data). Empty when the key is missing.
using Snapshot = std::map<std::string, std::string>;
Snapshot TakeSnapshot(HKEY root, const std::string& path);
Snapshot TakeSnapshots(const std::vector<std::pair<HKEY, std::string>>& trees);

// Drops every line of `snapshot` at or below `root`\`path`.
Snapshot Without(Snapshot snapshot, HKEY root, const std::string& path);

#define EXPECT_KEY_PRESENT(root, path) \
    EXPECT_TRUE(KeyExists(root, path)) << RootName(root) << "\\" << (path) << " is missing"
#define EXPECT_KEY_ABSENT(root, path) \
    EXPECT_FALSE(KeyExists(root, path)) << RootName(root) << "\\" << (path) << " is still there"

// Starts and ends every test with nothing under the keys the tests use, and with every handle
// the test opened closed again.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};
