// In-memory registry for host builds. It answers like the Windows registry wherever the program
// could come to depend on it: names compare without regard to case, subkeys enumerate in a stable
// sorted order, a key with subkeys cannot be deleted, a handle to a deleted key answers
// ERROR_KEY_DELETED, links are followed unless opened with REG_OPTION_OPEN_LINK, and every handle
// is a counted object that must be closed.
#include "platform/host/fake_registry.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

namespace {

struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return std::lexicographical_compare(
            a.begin(), a.end(), b.begin(), b.end(),
            [](unsigned char x, unsigned char y) { return Fold(x) < Fold(y); });
    }
    static unsigned char Fold(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }
};

struct Value {
    DWORD type;
    std::vector<BYTE> data;
};

struct EnumFault {
    DWORD index;
    LONG code;
    bool from_then_on;
};

struct Key {
    std::string name;
    std::string path;  // kept after deletion, so a deleted key can still name itself
    std::weak_ptr<Key> parent;
    std::map<std::string, std::shared_ptr<Key>, CaseInsensitiveLess> subkeys;
    std::map<std::string, Value, CaseInsensitiveLess> values;
    bool deleted = false;
    bool is_link = false;
    bool deny_write = false;
    std::optional<EnumFault> enum_fault;
};

struct Handle {
    std::shared_ptr<Key> key;
    REGSAM access;
};

const char kLinkValueName[] = "SymbolicLinkValue";
constexpr int kMaxLinkHops = 16;
constexpr REGSAM kReadAccess = KEY_READ | SYNCHRONIZE;

struct Registry {
    std::shared_ptr<Key> classes_root = MakeRoot("HKCR");
    std::shared_ptr<Key> current_user = MakeRoot("HKCU");
    std::shared_ptr<Key> local_machine = MakeRoot("HKLM");
    std::map<uintptr_t, Handle> handles;
    uintptr_t next_handle = 0x1000;
    std::vector<fake_registry::Call> log;

    static std::shared_ptr<Key> MakeRoot(const char* name) {
        auto root = std::make_shared<Key>();
        root->name = name;
        root->path = name;
        return root;
    }
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

std::string FullPath(const Key* key) {
    return key->path;
}

std::vector<std::string> SplitPath(const char* path) {
    std::vector<std::string> parts;
    std::string current;
    for (const char* p = path ? path : ""; *p != '\0'; ++p) {
        if (*p == '\\') {
            if (!current.empty()) {
                parts.push_back(current);
            }
            current.clear();
        } else {
            current += *p;
        }
    }
    if (!current.empty()) {
        parts.push_back(current);
    }
    return parts;
}

void Log(fake_registry::Call::Op op, const std::string& key, LONG result) {
    TheRegistry().log.push_back({op, key, result});
}

std::shared_ptr<Key> RootFor(HKEY key) {
    Registry& r = TheRegistry();
    if (key == HKEY_CLASSES_ROOT)
        return r.classes_root;
    if (key == HKEY_CURRENT_USER)
        return r.current_user;
    if (key == HKEY_LOCAL_MACHINE)
        return r.local_machine;
    return nullptr;
}

// The key a handle stands for: a root, or an open handle's key. Null for anything else.
std::shared_ptr<Key> KeyOf(HKEY key, REGSAM* access = nullptr) {
    if (auto root = RootFor(key)) {
        if (access)
            *access = KEY_ALL_ACCESS;
        return root;
    }
    auto& handles = TheRegistry().handles;
    auto it = handles.find(reinterpret_cast<uintptr_t>(key));
    if (it == handles.end()) {
        return nullptr;
    }
    if (access)
        *access = it->second.access;
    return it->second.key;
}

std::string LinkTarget(const Key& link) {
    auto it = link.values.find(kLinkValueName);
    if (it == link.values.end() || it->second.type != REG_LINK) {
        return {};
    }
    // REG_LINK data is a UTF-16 kernel path without a terminator; ours are plain ASCII.
    std::string target;
    for (size_t i = 0; i + 1 < it->second.data.size(); i += 2) {
        target += static_cast<char>(it->second.data[i]);
    }
    return target;
}

// Turns a kernel path such as \Registry\User\<sid>\Software\X into a root and the path below it.
std::shared_ptr<Key> ResolveKernelPath(const std::string& kernel_path,
                                       std::vector<std::string>* rest) {
    std::vector<std::string> parts = SplitPath(kernel_path.c_str());
    CaseInsensitiveLess less;
    auto equal = [&](const std::string& a, const char* b) { return !less(a, b) && !less(b, a); };
    if (parts.size() < 2 || !equal(parts[0], "Registry")) {
        return nullptr;
    }
    size_t skip = 0;
    std::shared_ptr<Key> root;
    if (equal(parts[1], "User") && parts.size() >= 3) {
        root = TheRegistry().current_user;
        skip = 3;
    } else if (equal(parts[1], "Machine") && parts.size() >= 4 && equal(parts[2], "Software") &&
               equal(parts[3], "Classes")) {
        root = TheRegistry().classes_root;
        skip = 4;
    } else if (equal(parts[1], "Machine")) {
        root = TheRegistry().local_machine;
        skip = 2;
    } else {
        return nullptr;
    }
    rest->assign(parts.begin() + skip, parts.end());
    return root;
}

// Walks `parts` down from `start`, following links; the last part's link is followed only when
// `follow_last_link` is set. Null when some part does not exist.
std::shared_ptr<Key> Walk(std::shared_ptr<Key> start, const std::vector<std::string>& parts,
                          bool follow_last_link, int hops = 0) {
    std::shared_ptr<Key> key = std::move(start);
    for (size_t i = 0; i < parts.size(); ++i) {
        auto it = key->subkeys.find(parts[i]);
        if (it == key->subkeys.end()) {
            return nullptr;
        }
        key = it->second;
        bool last = i + 1 == parts.size();
        if (key->is_link && (!last || follow_last_link)) {
            if (hops >= kMaxLinkHops) {
                return nullptr;
            }
            std::vector<std::string> target_parts;
            auto target_root = ResolveKernelPath(LinkTarget(*key), &target_parts);
            if (!target_root) {
                return nullptr;
            }
            key = Walk(target_root, target_parts, true, hops + 1);
            if (!key) {
                return nullptr;
            }
        }
    }
    return key;
}

bool AccessAllowed(const Key& key, REGSAM desired) {
    return !key.deny_write || (desired & ~kReadAccess) == 0;
}

HKEY NewHandle(std::shared_ptr<Key> key, REGSAM access) {
    Registry& r = TheRegistry();
    uintptr_t value = r.next_handle;
    r.next_handle += 4;
    r.handles[value] = Handle{std::move(key), access};
    return reinterpret_cast<HKEY>(value);
}

std::string Describe(HKEY parent, const char* sub_key) {
    auto key = KeyOf(parent);
    std::string path = key ? FullPath(key.get()) : "<bad handle>";
    if (sub_key && *sub_key) {
        path += "\\";
        path += sub_key;
    }
    return path;
}

std::shared_ptr<Key> FindForFault(HKEY root, const std::string& path) {
    auto start = RootFor(root);
    return start ? Walk(start, SplitPath(path.c_str()), true) : nullptr;
}

// The key behind `handle` if it is open, not deleted and was opened with `needed` access;
// otherwise null, with the code the registry answers in `error`.
std::shared_ptr<Key> UsableKey(HKEY handle, REGSAM needed, LONG* error) {
    REGSAM access = 0;
    auto key = KeyOf(handle, &access);
    if (!key) {
        *error = ERROR_INVALID_HANDLE;
    } else if (key->deleted) {
        *error = ERROR_KEY_DELETED;
    } else if ((access & needed) != needed) {
        *error = ERROR_ACCESS_DENIED;
    } else {
        return key;
    }
    return nullptr;
}

LONG CopyOut(const void* source, DWORD size, LPBYTE buffer, LPDWORD buffer_size) {
    if (buffer_size == nullptr) {
        return buffer ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    }
    DWORD room = *buffer_size;
    *buffer_size = size;
    if (buffer == nullptr) {
        return ERROR_SUCCESS;
    }
    if (room < size) {
        return ERROR_MORE_DATA;
    }
    if (size > 0) {
        std::memcpy(buffer, source, size);
    }
    return ERROR_SUCCESS;
}

}  // namespace

namespace fake_registry {

void Reset() {
    TheRegistry() = Registry();
}

size_t OpenHandleCount() {
    return TheRegistry().handles.size();
}

void DenyWriteAccess(HKEY root, const std::string& path) {
    if (auto key = FindForFault(root, path)) {
        key->deny_write = true;
    }
}

void FailEnumAt(HKEY root, const std::string& path, DWORD index, LONG code, bool from_then_on) {
    if (auto key = FindForFault(root, path)) {
        key->enum_fault = EnumFault{index, code, from_then_on};
    }
}

LONG DeleteKeyByHandle(HKEY handle) {
    auto key = KeyOf(handle);
    auto parent = key ? key->parent.lock() : nullptr;
    if (!parent) {
        return ERROR_INVALID_HANDLE;
    }
    key->deleted = true;
    parent->subkeys.erase(key->name);
    return ERROR_SUCCESS;
}

const std::vector<Call>& CallLog() {
    return TheRegistry().log;
}

void ClearCallLog() {
    TheRegistry().log.clear();
}

}  // namespace fake_registry

using fake_registry::Call;

LONG WINAPI RegOpenKeyExA(HKEY parent, LPCSTR sub_key, DWORD options, REGSAM desired,
                          PHKEY result) {
    std::string described = Describe(parent, sub_key);
    auto fail = [&](LONG code) {
        Log(Call::kOpen, described, code);
        return code;
    };
    if (result == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    auto start = KeyOf(parent);
    if (!start) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (start->deleted) {
        return fail(ERROR_KEY_DELETED);
    }
    bool follow_last_link = (options & REG_OPTION_OPEN_LINK) == 0;
    auto key = Walk(start, SplitPath(sub_key), follow_last_link);
    if (!key) {
        return fail(ERROR_FILE_NOT_FOUND);
    }
    if (!AccessAllowed(*key, desired)) {
        return fail(ERROR_ACCESS_DENIED);
    }
    *result = NewHandle(key, desired);
    Log(Call::kOpen, FullPath(key.get()), ERROR_SUCCESS);
    return ERROR_SUCCESS;
}

LONG WINAPI RegCreateKeyExA(HKEY parent, LPCSTR sub_key, DWORD, LPSTR, DWORD options,
                            REGSAM desired, LPSECURITY_ATTRIBUTES, PHKEY result,
                            LPDWORD disposition) {
    std::string described = Describe(parent, sub_key);
    auto fail = [&](LONG code) {
        Log(Call::kCreate, described, code);
        return code;
    };
    auto key = KeyOf(parent);
    if (!key || result == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (key->deleted) {
        return fail(ERROR_KEY_DELETED);
    }
    std::vector<std::string> parts = SplitPath(sub_key);
    bool created = false;
    for (size_t i = 0; i < parts.size(); ++i) {
        bool last = i + 1 == parts.size();
        auto it = key->subkeys.find(parts[i]);
        if (it == key->subkeys.end()) {
            if (key->deny_write) {
                return fail(ERROR_ACCESS_DENIED);
            }
            auto child = std::make_shared<Key>();
            child->name = parts[i];
            child->path = key->path + "\\" + parts[i];
            child->parent = key;
            child->is_link = last && (options & REG_OPTION_CREATE_LINK) != 0;
            key->subkeys[parts[i]] = child;
            key = child;
            created = true;
            continue;
        }
        key = it->second;
        if (key->is_link && !(last && (options & REG_OPTION_OPEN_LINK))) {
            if (last && (options & REG_OPTION_CREATE_LINK)) {
                return fail(ERROR_ACCESS_DENIED);
            }
            std::vector<std::string> target_parts;
            auto target_root = ResolveKernelPath(LinkTarget(*it->second), &target_parts);
            key = target_root ? Walk(target_root, target_parts, true) : nullptr;
            if (!key) {
                return fail(ERROR_FILE_NOT_FOUND);
            }
        }
    }
    if (!AccessAllowed(*key, desired)) {
        return fail(ERROR_ACCESS_DENIED);
    }
    *result = NewHandle(key, desired);
    if (disposition) {
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    Log(Call::kCreate, FullPath(key.get()), ERROR_SUCCESS);
    return ERROR_SUCCESS;
}

LONG WINAPI RegEnumKeyExA(HKEY handle, DWORD index, LPSTR name, LPDWORD name_length, LPDWORD, LPSTR,
                          LPDWORD, PFILETIME) {
    LONG error = ERROR_SUCCESS;
    auto key = UsableKey(handle, KEY_ENUMERATE_SUB_KEYS, &error);
    auto answer = [&](LONG code) {
        auto known = KeyOf(handle);
        Log(Call::kEnum, known ? FullPath(known.get()) : "<bad handle>", code);
        return code;
    };
    if (!key) {
        return answer(error);
    }
    if (name == nullptr || name_length == nullptr) {
        return answer(ERROR_INVALID_PARAMETER);
    }
    if (const auto& fault = key->enum_fault) {
        if (index == fault->index || (fault->from_then_on && index > fault->index)) {
            return answer(fault->code);
        }
    }
    if (index >= key->subkeys.size()) {
        return answer(ERROR_NO_MORE_ITEMS);
    }
    const std::string& found = std::next(key->subkeys.begin(), index)->first;
    if (found.size() + 1 > *name_length) {
        return answer(ERROR_MORE_DATA);
    }
    std::memcpy(name, found.c_str(), found.size() + 1);
    *name_length = static_cast<DWORD>(found.size());
    return answer(ERROR_SUCCESS);
}

LONG WINAPI RegEnumValueA(HKEY handle, DWORD index, LPSTR name, LPDWORD name_length, LPDWORD,
                          LPDWORD type, LPBYTE data, LPDWORD data_length) {
    LONG error = ERROR_SUCCESS;
    auto key = UsableKey(handle, KEY_QUERY_VALUE, &error);
    if (!key) {
        return error;
    }
    if (index >= key->values.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    auto it = std::next(key->values.begin(), index);
    if (name == nullptr || name_length == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (it->first.size() + 1 > *name_length) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(name, it->first.c_str(), it->first.size() + 1);
    *name_length = static_cast<DWORD>(it->first.size());
    if (type) {
        *type = it->second.type;
    }
    return CopyOut(it->second.data.data(), static_cast<DWORD>(it->second.data.size()), data,
                   data_length);
}

LONG WINAPI RegQueryValueExA(HKEY handle, LPCSTR value_name, LPDWORD, LPDWORD type, LPBYTE data,
                             LPDWORD data_length) {
    LONG error = ERROR_SUCCESS;
    auto key = UsableKey(handle, KEY_QUERY_VALUE, &error);
    if (!key) {
        return error;
    }
    auto it = key->values.find(value_name ? value_name : "");
    if (it == key->values.end()) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (type) {
        *type = it->second.type;
    }
    return CopyOut(it->second.data.data(), static_cast<DWORD>(it->second.data.size()), data,
                   data_length);
}

LONG WINAPI RegSetValueExA(HKEY handle, LPCSTR value_name, DWORD, DWORD type, const BYTE* data,
                           DWORD data_length) {
    LONG error = ERROR_SUCCESS;
    auto key = UsableKey(handle, KEY_SET_VALUE, &error);
    if (!key) {
        return error;
    }
    Value& value = key->values[value_name ? value_name : ""];
    value.type = type;
    value.data.assign(data, data + (data ? data_length : 0));
    return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteKeyA(HKEY parent, LPCSTR sub_key) {
    std::string described = Describe(parent, sub_key);
    auto fail = [&](LONG code) {
        Log(Call::kDelete, described, code);
        return code;
    };
    auto start = KeyOf(parent);
    if (!start) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (start->deleted) {
        return fail(ERROR_KEY_DELETED);
    }
    // Like Windows, this opens the key it deletes in the ordinary way, links and all.
    auto key = Walk(start, SplitPath(sub_key), true);
    if (!key) {
        return fail(ERROR_FILE_NOT_FOUND);
    }
    auto key_parent = key->parent.lock();
    if (!key_parent || key->deny_write || !key->subkeys.empty()) {
        return fail(ERROR_ACCESS_DENIED);
    }
    key->deleted = true;
    key_parent->subkeys.erase(key->name);
    Log(Call::kDelete, FullPath(key.get()), ERROR_SUCCESS);
    return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY handle) {
    if (RootFor(handle)) {
        return ERROR_SUCCESS;
    }
    auto& handles = TheRegistry().handles;
    auto it = handles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == handles.end()) {
        Log(Call::kClose, "<bad handle>", ERROR_INVALID_HANDLE);
        return ERROR_INVALID_HANDLE;
    }
    std::string path = FullPath(it->second.key.get());
    handles.erase(it);
    Log(Call::kClose, path, ERROR_SUCCESS);
    return ERROR_SUCCESS;
}
