#include "tests/registry_support.h"

#include "tests/test_keys.h"

#ifdef _WIN32
#include <sddl.h>
#else
#include "platform/host/fake_registry.h"
#endif

#include <cstdio>

namespace {

constexpr DWORD kReserved = 0;
constexpr LPSTR kNoClass = nullptr;
constexpr LPSECURITY_ATTRIBUTES kDefaultSecurity = nullptr;
constexpr LPDWORD kNoDisposition = nullptr;
constexpr DWORD kNameBufferSize = 1024;

struct Handle {
    HKEY key = nullptr;
    ~Handle() {
        if (key) {
            RegCloseKey(key);
        }
    }
};

std::vector<std::string> SubKeyNames(HKEY key) {
    std::vector<std::string> names;
    char name[kNameBufferSize];
    for (DWORD index = 0;; ++index) {
        DWORD length = kNameBufferSize;
        if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name);
    }
    return names;
}

std::string Describe(DWORD type, const std::vector<BYTE>& data) {
    std::string text = std::to_string(type) + ":";
    if (type == REG_SZ) {
        text.append(reinterpret_cast<const char*>(data.data()), data.size());
        while (!text.empty() && text.back() == '\0') {
            text.pop_back();
        }
        return text;
    }
    for (BYTE b : data) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", b);
        text += hex;
    }
    return text;
}

void Collect(HKEY key, const std::string& name, Snapshot& snapshot) {
    snapshot[name] = "";
    char value_name[kNameBufferSize];
    for (DWORD index = 0;; ++index) {
        DWORD name_length = kNameBufferSize;
        DWORD type = 0;
        DWORD data_length = 0;
        if (RegEnumValueA(key, index, value_name, &name_length, nullptr, &type, nullptr,
                          &data_length) != ERROR_SUCCESS) {
            break;
        }
        std::vector<BYTE> data(data_length);
        name_length = kNameBufferSize;
        RegEnumValueA(key, index, value_name, &name_length, nullptr, &type, data.data(),
                      &data_length);
        data.resize(data_length);
        snapshot[name + " [" + value_name + "]"] = Describe(type, data);
    }
    for (const std::string& sub : SubKeyNames(key)) {
        Handle child;
        if (RegOpenKeyExA(key, sub.c_str(), REG_OPTION_OPEN_LINK, KEY_READ, &child.key) ==
            ERROR_SUCCESS) {
            Collect(child.key, name + "\\" + sub, snapshot);
        } else {
            snapshot[name + "\\" + sub] = "(cannot be read)";
        }
    }
}

bool IsLink(HKEY key) {
    DWORD type = REG_NONE;
    return RegQueryValueExA(key, "SymbolicLinkValue", nullptr, &type, nullptr, nullptr) ==
               ERROR_SUCCESS &&
           type == REG_LINK;
}

// RegDeleteKeyA would follow a link and delete its target; a link itself goes by its handle.
void DeleteLink(HKEY link) {
#ifdef _WIN32
    using NtDeleteKeyFunction = LONG(WINAPI*)(HANDLE);
    auto nt_delete_key = reinterpret_cast<NtDeleteKeyFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtDeleteKey")));
    ASSERT_NE(nullptr, nt_delete_key);
    EXPECT_EQ(0, nt_delete_key(link));
#else
    EXPECT_EQ(ERROR_SUCCESS, fake_registry::DeleteKeyByHandle(link));
#endif
}

void DeleteChildren(HKEY key) {
    for (const std::string& sub : SubKeyNames(key)) {
        Handle child;
        if (RegOpenKeyExA(key, sub.c_str(), REG_OPTION_OPEN_LINK, KEY_ALL_ACCESS, &child.key) !=
            ERROR_SUCCESS) {
            continue;
        }
        if (IsLink(child.key)) {
            DeleteLink(child.key);
            continue;
        }
        DeleteChildren(child.key);
        RegDeleteKeyA(key, sub.c_str());
    }
}

// Keys DenyWriteAccess locked, to be given their access back.
std::vector<std::pair<HKEY, std::string>>& LockedKeys() {
    static std::vector<std::pair<HKEY, std::string>> keys;
    return keys;
}

#ifdef _WIN32
void SetAccess(HKEY root, const std::string& path, const char* dacl) {
    Handle key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(root, path.c_str(), REG_OPTION_OPEN_LINK, WRITE_DAC, &key.key))
        << RootName(root) << "\\" << path;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(dacl, SDDL_REVISION_1,
                                                                     &descriptor, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key.key, DACL_SECURITY_INFORMATION, descriptor));
    LocalFree(descriptor);
}
#endif

void RestoreAccess() {
#ifdef _WIN32
    for (const auto& [root, path] : LockedKeys()) {
        if (KeyExists(root, path)) {
            SetAccess(root, path, "D:(A;;KA;;;WD)");
        }
    }
#endif
    LockedKeys().clear();
}

Handle OpenForWriting(HKEY root, const std::string& path) {
    Handle handle;
    LONG result = RegCreateKeyExA(root, path.c_str(), kReserved, kNoClass, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, kDefaultSecurity, &handle.key, kNoDisposition);
    EXPECT_EQ(ERROR_SUCCESS, result) << "creating " << RootName(root) << "\\" << path;
    return handle;
}

}  // namespace

std::string RootName(HKEY root) {
    if (root == HKEY_CLASSES_ROOT)
        return "HKCR";
    if (root == HKEY_CURRENT_USER)
        return "HKCU";
    if (root == HKEY_LOCAL_MACHINE)
        return "HKLM";
    return "<key>";
}

void CreateKey(HKEY root, const std::string& path) {
    OpenForWriting(root, path);
}

void SetStringValue(HKEY root, const std::string& path, const std::string& name,
                    const std::string& data) {
    Handle key = OpenForWriting(root, path);
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key.key, name.c_str(), kReserved, REG_SZ,
                                            reinterpret_cast<const BYTE*>(data.c_str()),
                                            static_cast<DWORD>(data.size() + 1)));
}

void SetDwordValue(HKEY root, const std::string& path, const std::string& name, DWORD data) {
    Handle key = OpenForWriting(root, path);
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key.key, name.c_str(), kReserved, REG_DWORD,
                                            reinterpret_cast<const BYTE*>(&data), sizeof data));
}

bool KeyExists(HKEY root, const std::string& path) {
    Handle key;
    return RegOpenKeyExA(root, path.c_str(), REG_OPTION_OPEN_LINK, KEY_READ, &key.key) ==
           ERROR_SUCCESS;
}

void DenyWriteAccess(HKEY root, const std::string& path) {
#ifdef _WIN32
    SetAccess(root, path, "D:P(A;;KR;;;WD)");
#else
    fake_registry::DenyWriteAccess(root, path);
#endif
    LockedKeys().emplace_back(root, path);
}

void DeleteTreeForTest(HKEY root, const std::string& path) {
    {
        Handle key;
        if (RegOpenKeyExA(root, path.c_str(), REG_OPTION_OPEN_LINK, KEY_ALL_ACCESS, &key.key) !=
            ERROR_SUCCESS) {
            return;
        }
        if (IsLink(key.key)) {
            DeleteLink(key.key);
            return;
        }
        DeleteChildren(key.key);
    }
    RegDeleteKeyA(root, path.c_str());
}

std::string CurrentUserKernelPath() {
#ifdef _WIN32
    HANDLE token = nullptr;
    EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    BYTE buffer[256];
    DWORD size = sizeof buffer;
    EXPECT_TRUE(GetTokenInformation(token, TokenUser, buffer, size, &size));
    CloseHandle(token);
    char* sid = nullptr;
    EXPECT_TRUE(ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid));
    std::string path = std::string("\\Registry\\User\\") + sid;
    LocalFree(sid);
    return path;
#else
    return "\\Registry\\User\\S-1-5-21-0-0-0-1000";
#endif
}

void CreateLink(HKEY root, const std::string& path, const std::string& kernel_target) {
    Handle link;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(root, path.c_str(), kReserved, kNoClass, REG_OPTION_CREATE_LINK,
                              KEY_ALL_ACCESS | KEY_CREATE_LINK, kDefaultSecurity, &link.key,
                              kNoDisposition));
    // The target is stored as UTF-16 without a terminator.
    std::vector<BYTE> target;
    for (char c : kernel_target) {
        target.push_back(static_cast<BYTE>(c));
        target.push_back(0);
    }
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(link.key, "SymbolicLinkValue", kReserved, REG_LINK,
                                            target.data(), static_cast<DWORD>(target.size())));
}

Snapshot TakeSnapshot(HKEY root, const std::string& path) {
    Snapshot snapshot;
    Handle key;
    if (RegOpenKeyExA(root, path.c_str(), REG_OPTION_OPEN_LINK, KEY_READ, &key.key) ==
        ERROR_SUCCESS) {
        Collect(key.key, RootName(root) + "\\" + path, snapshot);
    }
    return snapshot;
}

Snapshot TakeSnapshots(const std::vector<std::pair<HKEY, std::string>>& trees) {
    Snapshot all;
    for (const auto& [root, path] : trees) {
        Snapshot one = TakeSnapshot(root, path);
        all.insert(one.begin(), one.end());
    }
    return all;
}

Snapshot Without(Snapshot snapshot, HKEY root, const std::string& path) {
    std::string prefix = RootName(root) + "\\" + path;
    for (auto it = snapshot.begin(); it != snapshot.end();) {
        const std::string& line = it->first;
        bool below = line.compare(0, prefix.size(), prefix) == 0 &&
                     (line.size() == prefix.size() || line[prefix.size()] == '\\' ||
                      line[prefix.size()] == ' ');
        it = below ? snapshot.erase(it) : std::next(it);
    }
    return snapshot;
}

void RegistryTest::SetUp() {
#ifndef _WIN32
    fake_registry::Reset();
#endif
    RestoreAccess();
    for (const TestKey& key : kTestKeys) {
        DeleteTreeForTest(key.root, key.path);
    }
}

void RegistryTest::TearDown() {
#ifndef _WIN32
    EXPECT_EQ(0u, fake_registry::OpenHandleCount()) << "a registry handle was left open";
#endif
    RestoreAccess();
    for (const TestKey& key : kTestKeys) {
        DeleteTreeForTest(key.root, key.path);
    }
}
