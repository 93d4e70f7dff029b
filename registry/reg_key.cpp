#include "registry/reg_key.h"

namespace {

constexpr DWORD kDefaultOptions = 0;
constexpr DWORD kNameBufferSize = 1024;
constexpr LPDWORD kReserved = nullptr;
constexpr LPSTR kNoClass = nullptr;
constexpr LPDWORD kNoClassLength = nullptr;
constexpr PFILETIME kNoLastWriteTime = nullptr;

// The registry answers ERROR_NO_MORE_ITEMS past the last subkey. A key deleted or damaged while
// it is enumerated answers some other failure for every index instead, so a long enough run of
// failures ends the enumeration too; a single index that fails (a name too long for the buffer)
// is still only skipped.
constexpr int kMaxConsecutiveFailures = 64;

}  // namespace

int RegKey::Open(HKEY parent, const char* path) {
    if (open_) {
        RegCloseKey(handle_);
    }
    open_ = 0;
    if (RegOpenKeyExA(parent, path, kDefaultOptions, KEY_ALL_ACCESS, &handle_) == ERROR_SUCCESS) {
        open_ = 1;
    }
    return open_;
}

void RegKey::Close() {
    if (open_) {
        RegCloseKey(handle_);
    }
    open_ = 0;
}

void RegKey::EnumSubKeys(SubKeyNameList& names) const {
    if (!open_) {
        return;
    }
    char name[kNameBufferSize];
    int consecutive_failures = 0;
    for (DWORD index = 0;; ++index) {
        DWORD name_length = kNameBufferSize;
        LONG result = RegEnumKeyExA(handle_, index, name, &name_length, kReserved, kNoClass,
                                    kNoClassLength, kNoLastWriteTime);
        if (result == ERROR_NO_MORE_ITEMS) {
            return;
        }
        if (result == ERROR_SUCCESS) {
            consecutive_failures = 0;
            names.emplace_back(name);
        } else if (++consecutive_failures >= kMaxConsecutiveFailures) {
            return;
        }
    }
}

void RegKey::DeleteSubKeys() {
    if (!open_) {
        return;
    }
    SubKeyNameList names;
    EnumSubKeys(names);
    RegKey child;
    for (const std::string& name : names) {
        if (child.Open(handle_, name.c_str())) {
            child.DeleteSubKeys();
            child.Close();
            RegDeleteKeyA(handle_, name.c_str());
        }
    }
}

int RegKey::HasNoSubKeys() const {
    if (!open_) {
        return 0;
    }
    SubKeyNameList names;
    EnumSubKeys(names);
    return names.empty() ? 1 : 0;
}
