#pragma once

#include "platform/windows_api.h"

// Removes and inspects whole key trees below a root.
class RegistryCleaner {
public:
    // Removes the key at `path` below `root` with all its descendants. Returns 1 when the key
    // could be opened (its removal was then attempted, not necessarily achieved), 0 when it could
    // not be opened and nothing was done.
    int DeleteKeyTree(HKEY root, const char* path);

    // 1 when the key can be opened and has no subkeys, else 0: a key that is missing or cannot be
    // opened does not count as empty.
    int IsKeyEmpty(HKEY root, const char* path);
};
