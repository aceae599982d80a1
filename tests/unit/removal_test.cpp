// Integration removal: the archiver's classes, the user's product key and the two single
// machine keys are gone afterwards, and keys that only share a prefix stay.
#include "uninstall/uninstall.h"

#include <gtest/gtest.h>

namespace {

const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ombrix archiver";
const wchar_t kAppPathKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Ombrix.exe";

bool KeyExists(HKEY root, const wchar_t* path) {
    HKEY key;
    if (RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

bool MakeKey(HKEY root, const wchar_t* path, const wchar_t* value = L"x") {
    HKEY key;
    if (RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) return false;
    RegSetValueExW(key, L"", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), (DWORD)(wcslen(value) + 1) * 2);
    RegCloseKey(key);
    return true;
}

void DropTree(HKEY root, const wchar_t* path) { RegDeleteTreeW(root, path); RegDeleteKeyW(root, path); }

}  // namespace

TEST(RemoveIntegration, RemovesClassesProductKeyAndMachineEntries) {
    const wchar_t* classKeys[] = {L"Ombrix\\shell\\open\\command", L"Ombrix\\DefaultIcon", L"Ombrix.ZIP\\shell\\open",
                                  L"Ombrix.REV\\DefaultIcon", L".rev\\ShellNew"};
    for (const wchar_t* key : classKeys) ASSERT_TRUE(MakeKey(HKEY_CLASSES_ROOT, key)) << key;
    // Bound by an installation that remembered nothing of ".rev": the key is the archiver's.
    ASSERT_TRUE(MakeKey(HKEY_CLASSES_ROOT, L".rev", L"Ombrix.REV"));
    ASSERT_TRUE(MakeKey(HKEY_CURRENT_USER, L"Software\\Ombrix\\Setup\\.zip"));
    ASSERT_TRUE(MakeKey(HKEY_CURRENT_USER, L"Software\\Ombrix\\General"));
    ASSERT_TRUE(MakeKey(HKEY_LOCAL_MACHINE, kUninstallKey));
    ASSERT_TRUE(MakeKey(HKEY_LOCAL_MACHINE, kAppPathKey));
    // Neighbours that only share a prefix with the removed keys.
    ASSERT_TRUE(MakeKey(HKEY_CLASSES_ROOT, L"Ombrix.Neighbour"));
    ASSERT_TRUE(MakeKey(HKEY_CURRENT_USER, L"Software\\OmbrixNeighbour"));
    ASSERT_TRUE(MakeKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ombrix neighbour"));

    RemoveIntegration();

    for (const wchar_t* key : {L"Ombrix", L"Ombrix.ZIP", L"Ombrix.REV", L".rev"}) {
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key)) << key;
    }
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Ombrix"));
    // The uninstall entry is the driver's last change, not the integration's.
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    RemoveUninstallEntry();
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppPathKey));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"Ombrix.Neighbour"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, L"Software\\OmbrixNeighbour"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ombrix neighbour"));

    DropTree(HKEY_CLASSES_ROOT, L"Ombrix.Neighbour");
    DropTree(HKEY_CURRENT_USER, L"Software\\OmbrixNeighbour");
    DropTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ombrix neighbour");
}

TEST(RemoveIntegration, NothingToRemoveRunsThroughQuietly) {
    for (const wchar_t* key : {L"Ombrix", L"Ombrix.ZIP", L"Ombrix.REV", L".rev"}) DropTree(HKEY_CLASSES_ROOT, key);
    DropTree(HKEY_CURRENT_USER, L"Software\\Ombrix");
    RemoveIntegration();
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Ombrix"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"Ombrix"));
}

TEST(RemoveIntegration, AnAppPathKeyWithSubkeysStays) {
    // The machine entries are removed as single keys; one with subkeys is not torn down.
    std::wstring child = std::wstring(kAppPathKey) + L"\\Extra";
    ASSERT_TRUE(MakeKey(HKEY_LOCAL_MACHINE, child.c_str()));
    RemoveIntegration();
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kAppPathKey));
    DropTree(HKEY_LOCAL_MACHINE, kAppPathKey);
}
