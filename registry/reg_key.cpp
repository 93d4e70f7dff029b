#include "registry/reg_key.h"

namespace {

constexpr DWORD kNameBufferSize = 1024;
constexpr LPDWORD kReserved = nullptr;
constexpr LPSTR kNoClass = nullptr;
constexpr LPDWORD kNoClassLength = nullptr;
constexpr PFILETIME kNoLastWriteTime = nullptr;
constexpr LPBYTE kNoData = nullptr;
constexpr LPDWORD kNoDataLength = nullptr;

// The registry answers ERROR_NO_MORE_ITEMS past the last subkey. A key deleted or damaged while
// it is enumerated answers some other failure for every index instead, so a long enough run of
// failures ends the enumeration too; a single index that fails (a name too long for the buffer)
// is still only skipped.
constexpr int kMaxConsecutiveFailures = 64;

// A link key carries its target in this value, of type REG_LINK.
bool IsLink(HKEY key) {
    DWORD type = REG_NONE;
    return RegQueryValueExA(key, "SymbolicLinkValue", kReserved, &type, kNoData, kNoDataLength) ==
               ERROR_SUCCESS &&
           type == REG_LINK;
}

}  // namespace

int RegKey::Open(HKEY parent, const char* path) {
    if (open_) {
        RegCloseKey(handle_);
    }
    open_ = 0;
    // Opened in the ordinary way a link would lead the removal into its target, a tree this
    // program never owned. So the key itself is opened, and a link is left alone like a key that
    // cannot be opened.
    if (RegOpenKeyExA(parent, path, REG_OPTION_OPEN_LINK, KEY_ALL_ACCESS, &handle_) ==
        ERROR_SUCCESS) {
        if (IsLink(handle_)) {
            RegCloseKey(handle_);
        } else {
            open_ = 1;
        }
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
