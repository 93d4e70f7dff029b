// Control surface of the host build's in-memory registry. The registry itself is reached through
// the usual Reg* functions declared in platform/windows_api.h; this header is for tests, which
// need to reset it, break it on purpose and see what was done to it.
#pragma once

#include "platform/windows_api.h"

#include <cstddef>
#include <string>
#include <vector>

namespace fake_registry {

// Empties every root, forgets every fault and the call log. Handles still open become invalid.
void Reset();

// Handles handed out by RegOpenKeyExA/RegCreateKeyExA and not yet closed.
size_t OpenHandleCount();

// The key refuses any open or delete that asks for more than read access, with
// ERROR_ACCESS_DENIED, as a key whose security descriptor grants the user only reading does.
void DenyWriteAccess(HKEY root, const std::string& path);

// RegEnumKeyExA on the key answers `code` at `index` (only there, or from there on when
// `from_then_on` is set), instead of what it would have answered.
void FailEnumAt(HKEY root, const std::string& path, DWORD index, LONG code, bool from_then_on);

// Deletes the key `handle` refers to, subkeys or not, without following a link: what a test
// needs to remove a link key, which RegDeleteKeyA would follow to its target.
LONG DeleteKeyByHandle(HKEY handle);

// One registry call as the program made it. `key` is the full path of the key the call acted on,
// such as "HKCU\Software\Example" (for an enumeration the key enumerated, for a delete the key
// deleted); `result` is what the call answered.
struct Call {
    enum Op { kOpen, kCreate, kEnum, kDelete, kClose } op;
    std::string key;
    LONG result;
};

const std::vector<Call>& CallLog();
void ClearCallLog();

}  // namespace fake_registry
