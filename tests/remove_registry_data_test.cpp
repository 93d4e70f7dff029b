#include "registry/remove_registry_data.h"

#include "tests/registry_support.h"
#include "tests/test_keys.h"

namespace {

const char kExtension[] = ".vrx";
const char kDocument[] = "Vorlaxen.Document";
const char kClass[] = "CLSID\\{7C41E2A9-3D58-4F16-A0B3-95E2D7C64F18}";
const char kProduct[] = "Software\\QUELB.\\Vorlaxen";
const char kVendor[] = "Software\\QUELB.";

class RemoveRegistryDataTest : public RegistryTest {
protected:
    // What Vorlaxen.exe leaves behind: the four product trees, each with subtrees and values.
    void SeedProduct() {
        SetStringValue(HKEY_CLASSES_ROOT, kExtension, "", kDocument);
        SetStringValue(HKEY_CLASSES_ROOT, ".vrx\\ShellNew", "NullFile", "");
        SetStringValue(HKEY_CLASSES_ROOT, "Vorlaxen.Document", "", "Vorlaxen Document");
        SetStringValue(HKEY_CLASSES_ROOT, "Vorlaxen.Document\\CLSID", "", kClass + 6);
        SetStringValue(HKEY_CLASSES_ROOT, "Vorlaxen.Document\\shell\\open\\command", "",
                       "\"C:\\Program Files\\Vorlaxen\\Vorlaxen.exe\" \"%1\"");
        SetStringValue(HKEY_CLASSES_ROOT, "Vorlaxen.Document\\DefaultIcon", "", "Vorlaxen.exe,1");
        SetStringValue(HKEY_CLASSES_ROOT, kClass, "", "Vorlaxen Document");
        SetStringValue(HKEY_CLASSES_ROOT, std::string(kClass) + "\\ProgID", "", kDocument);
        SetStringValue(HKEY_CLASSES_ROOT, std::string(kClass) + "\\LocalServer32", "",
                       "Vorlaxen.exe");
        SetDwordValue(HKEY_CURRENT_USER, kProduct, "Version", 0x10001);
        SetStringValue(HKEY_CURRENT_USER, std::string(kProduct) + "\\Recent File List", "File1",
                       "C:\\a.vrx");
        SetDwordValue(HKEY_CURRENT_USER, std::string(kProduct) + "\\Settings\\Window", "Left", 40);
    }

    // Keys that look like the product's but are not, and must come through untouched.
    void SeedLookAlikes() {
        SetStringValue(HKEY_CLASSES_ROOT, ".vrx2", "", "Other.Document");
        SetStringValue(HKEY_CLASSES_ROOT, "Vorlaxen.Document.1\\CurVer", "", "x");
        SetStringValue(HKEY_CLASSES_ROOT, "CLSID\\{7C41E2A9-3D58-4F16-A0B3-95E2D7C64F19}", "",
                       "one digit off");
        SetStringValue(HKEY_CURRENT_USER, "Software\\QUELB\\Vorlaxen", "Name", "no full stop");
        SetStringValue(HKEY_CURRENT_USER, "Software\\QUELB.Other\\Vorlaxen", "Name",
                       "other vendor");
    }

    // Everything below every key the tests use.
    Snapshot Watched() {
        std::vector<std::pair<HKEY, std::string>> trees;
        for (const TestKey& key : kTestKeys) {
            trees.emplace_back(key.root, key.path);
        }
        return TakeSnapshots(trees);
    }

    static Snapshot WithoutClasses(Snapshot snapshot) {
        for (const char* path : {kExtension, kDocument, kClass}) {
            snapshot = Without(snapshot, HKEY_CLASSES_ROOT, path);
        }
        return snapshot;
    }
};

TEST_F(RemoveRegistryDataTest, RemovesExactlyTheProductTreesAndNothingElse) {
    SeedProduct();
    SeedLookAlikes();
    SetStringValue(HKEY_CURRENT_USER, "Software\\QUELB.\\Another Product\\Options", "Mode", "1");
    SetStringValue(HKEY_CURRENT_USER, kVendor, "Installer", "vendor's own value");
    Snapshot expected = Without(WithoutClasses(Watched()), HKEY_CURRENT_USER, kProduct);

    RemoveRegistryData();

    EXPECT_EQ(expected, Watched());
    EXPECT_KEY_PRESENT(HKEY_CLASSES_ROOT, "CLSID");
}

TEST_F(RemoveRegistryDataTest, VendorKeyGoesOnceNoSubKeyIsLeft) {
    struct Case {
        const char* what;
        bool vendor_values;
        bool other_product;
        bool vendor_stays;
    } cases[] = {
        {"only the product under the vendor", false, false, false},
        {"vendor holds values besides the product", true, false, false},
        {"vendor holds another product", false, true, true},
        {"vendor holds values and another product", true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        SeedProduct();
        if (c.vendor_values) {
            SetStringValue(HKEY_CURRENT_USER, kVendor, "Name", "value");
        }
        if (c.other_product) {
            SetStringValue(HKEY_CURRENT_USER, "Software\\QUELB.\\Other", "Name", "value");
        }

        RemoveRegistryData();

        EXPECT_KEY_ABSENT(HKEY_CURRENT_USER, kProduct);
        EXPECT_EQ(c.vendor_stays, KeyExists(HKEY_CURRENT_USER, kVendor));
        EXPECT_EQ(c.other_product, KeyExists(HKEY_CURRENT_USER, "Software\\QUELB.\\Other"));
        EXPECT_KEY_PRESENT(HKEY_CURRENT_USER, "Software");
    }
}

TEST_F(RemoveRegistryDataTest, EachStepRunsWhateverIsMissing) {
    struct Case {
        const char* what;
        HKEY root;
        const char* missing;
    } cases[] = {
        {"no extension key", HKEY_CLASSES_ROOT, kExtension},
        {"no document type", HKEY_CLASSES_ROOT, kDocument},
        {"no class", HKEY_CLASSES_ROOT, kClass},
        {"no settings", HKEY_CURRENT_USER, kProduct},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        SeedProduct();
        SeedLookAlikes();
        DeleteTreeForTest(c.root, c.missing);
        CreateKey(HKEY_CURRENT_USER, kVendor);
        Snapshot expected = Without(WithoutClasses(Watched()), HKEY_CURRENT_USER, kVendor);

        RemoveRegistryData();

        EXPECT_EQ(expected, Watched());
    }
}

TEST_F(RemoveRegistryDataTest, NothingToRemoveAndSecondRunsChangeNothing) {
    SeedLookAlikes();
    Snapshot untouched = Watched();
    RemoveRegistryData();
    EXPECT_EQ(untouched, Watched());

    SeedProduct();
    RemoveRegistryData();
    Snapshot after_first = Watched();
    RemoveRegistryData();
    EXPECT_EQ(after_first, Watched());
    EXPECT_EQ(untouched, after_first);
}

TEST_F(RemoveRegistryDataTest, LinksAreNeitherFollowedNorDeletedThrough) {
    struct Case {
        const char* what;
        std::string link;
        const char* removed;  // what must still go
    } cases[] = {
        {"a link below the settings", std::string(kProduct) + "\\Shortcut",
         "Software\\QUELB.\\Vorlaxen\\Recent File List"},
        {"the settings key itself a link", kProduct, ".vrx"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        SeedProduct();
        SetStringValue(HKEY_CURRENT_USER, "Software\\Victim", "Own", "not ours");
        SetStringValue(HKEY_CURRENT_USER, "Software\\Victim\\Data", "Name", "not ours");
        Snapshot victim = TakeSnapshot(HKEY_CURRENT_USER, "Software\\Victim");
        if (c.link == kProduct) {
            DeleteTreeForTest(HKEY_CURRENT_USER, kProduct);
        }
        CreateLink(HKEY_CURRENT_USER, c.link, CurrentUserKernelPath() + "\\Software\\Victim");

        RemoveRegistryData();

        EXPECT_EQ(victim, TakeSnapshot(HKEY_CURRENT_USER, "Software\\Victim"));
        EXPECT_KEY_PRESENT(HKEY_CURRENT_USER, c.link) << "a link stays like a key we may not open";
        EXPECT_KEY_PRESENT(HKEY_CURRENT_USER, kVendor);
        EXPECT_KEY_ABSENT(c.removed[0] == '.' ? HKEY_CLASSES_ROOT : HKEY_CURRENT_USER, c.removed);
    }
}

TEST_F(RemoveRegistryDataTest, ClassesWithoutFullAccessStillLetTheUserKeysGo) {
    const char* classes[] = {".vrx", "Vorlaxen.Document",
                             "CLSID\\{7C41E2A9-3D58-4F16-A0B3-95E2D7C64F18}"};
    for (const char* path : classes) {
        SetStringValue(HKEY_CLASSES_ROOT, std::string(path) + "\\Sub", "Name", "value");
        DenyWriteAccess(HKEY_CLASSES_ROOT, path);
    }
    SetStringValue(HKEY_CURRENT_USER, "Software\\QUELB.\\Vorlaxen\\Settings", "Name", "value");
    Snapshot before = TakeSnapshots({{HKEY_CLASSES_ROOT, classes[0]},
                                     {HKEY_CLASSES_ROOT, classes[1]},
                                     {HKEY_CLASSES_ROOT, classes[2]}});

    RemoveRegistryData();

    EXPECT_EQ(before, TakeSnapshots({{HKEY_CLASSES_ROOT, classes[0]},
                                     {HKEY_CLASSES_ROOT, classes[1]},
                                     {HKEY_CLASSES_ROOT, classes[2]}}));
    EXPECT_KEY_ABSENT(HKEY_CURRENT_USER, "Software\\QUELB.");
}

TEST_F(RemoveRegistryDataTest, VendorKeyStaysWhileALockedPartOfTheProductRemains) {
    SetStringValue(HKEY_CURRENT_USER, "Software\\QUELB.\\Vorlaxen\\Locked", "Name", "value");
    SetStringValue(HKEY_CURRENT_USER, "Software\\QUELB.\\Vorlaxen\\Open", "Name", "value");
    DenyWriteAccess(HKEY_CURRENT_USER, "Software\\QUELB.\\Vorlaxen\\Locked");

    RemoveRegistryData();

    EXPECT_KEY_PRESENT(HKEY_CURRENT_USER, "Software\\QUELB.\\Vorlaxen\\Locked");
    EXPECT_KEY_ABSENT(HKEY_CURRENT_USER, "Software\\QUELB.\\Vorlaxen\\Open");
}

}  // namespace
