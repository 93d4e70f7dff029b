#include "registry/remove_registry_data.h"

#include "registry/registry_cleaner.h"

namespace {

struct ProductKey {
    HKEY root;
    const char* path;
};

// Vorlaxen.exe writes these again the next time it runs.
const ProductKey kProductKeys[] = {
    {HKEY_CLASSES_ROOT, ".vrx"},
    {HKEY_CLASSES_ROOT, "Vorlaxen.Document"},
    {HKEY_CLASSES_ROOT, "CLSID\\{7C41E2A9-3D58-4F16-A0B3-95E2D7C64F18}"},
    {HKEY_CURRENT_USER, "Software\\QUELB.\\Vorlaxen"},
};

// The vendor key may hold other products' settings, so it goes only once it has no subkeys.
const ProductKey kVendorKey = {HKEY_CURRENT_USER, "Software\\QUELB."};

}  // namespace

void RemoveRegistryData() {
    RegistryCleaner cleaner;
    for (const ProductKey& key : kProductKeys) {
        cleaner.DeleteKeyTree(key.root, key.path);
    }
    if (cleaner.IsKeyEmpty(kVendorKey.root, kVendorKey.path)) {
        cleaner.DeleteKeyTree(kVendorKey.root, kVendorKey.path);
    }
}
