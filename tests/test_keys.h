// Every tree the tests create. Fixtures clear them before and after each test, so a test on a
// real registry starts from nothing and leaves nothing behind.
#pragma once

#include "platform/windows_api.h"

struct TestKey {
    HKEY root;
    const char* path;
};

// Where tests of single keys build their trees.
#define TEST_ROOT "Software\\UninstallerTest"

inline const TestKey kTestKeys[] = {
    {HKEY_CURRENT_USER, TEST_ROOT},
    {HKEY_CLASSES_ROOT, ".vrx"},
    {HKEY_CLASSES_ROOT, ".vrx2"},
    {HKEY_CLASSES_ROOT, "Vorlaxen.Document"},
    {HKEY_CLASSES_ROOT, "Vorlaxen.Document.1"},
    {HKEY_CLASSES_ROOT, "CLSID\\{7C41E2A9-3D58-4F16-A0B3-95E2D7C64F18}"},
    {HKEY_CLASSES_ROOT, "CLSID\\{7C41E2A9-3D58-4F16-A0B3-95E2D7C64F19}"},
    {HKEY_CURRENT_USER, "Software\\QUELB.\\Vorlaxen"},
    {HKEY_CURRENT_USER, "Software\\QUELB."},
    {HKEY_CURRENT_USER, "Software\\QUELB"},
    {HKEY_CURRENT_USER, "Software\\QUELB.Other"},
    {HKEY_CURRENT_USER, "Software\\Victim"},
};
