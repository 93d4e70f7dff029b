#include "registry/registry_cleaner.h"

#include "registry/reg_key.h"

int RegistryCleaner::DeleteKeyTree(HKEY root, const char* path) {
    RegKey key;
    if (!key.Open(root, path)) {
        return 0;
    }
    key.DeleteSubKeys();
    key.Close();
    RegDeleteKeyA(root, path);
    return 1;
}

int RegistryCleaner::IsKeyEmpty(HKEY root, const char* path) {
    RegKey key;
    if (!key.Open(root, path)) {
        return 0;
    }
    int empty = key.HasNoSubKeys();
    key.Close();
    return empty;
}
