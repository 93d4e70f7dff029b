#pragma once

#include "platform/windows_api.h"

#include <string>
#include <vector>

// Names of a key's direct subkeys, in the order the registry enumerated them.
using SubKeyNameList = std::vector<std::string>;

// Owns one open registry key. Never owns a predefined root: a root is only ever a parent.
class RegKey {
public:
    RegKey() = default;
    ~RegKey() { Close(); }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    // Opens `path` below `parent` with full access, closing whatever this object held first.
    // A key that is a registry link is not opened. Returns 1 when the key is open, 0 when not.
    int Open(HKEY parent, const char* path);
    void Close();

    // Appends the names of the key's direct subkeys; leaves `names` alone when the key is closed.
    void EnumSubKeys(SubKeyNameList& names) const;

    // Removes every descendant of the key, deepest first; the key itself and its values stay.
    // A subkey that cannot be opened is left in place with everything below it.
    void DeleteSubKeys();

    // 1 when the key is open and has no subkeys (values do not count), else 0.
    int HasNoSubKeys() const;

private:
    int open_ = 0;
    HKEY handle_;  // meaningful only while open_ is set
};
