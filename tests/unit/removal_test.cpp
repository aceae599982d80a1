// Integration removal: the archiver's classes, the user's product key and the two single
// machine keys are gone afterwards, and keys that only share a prefix stay.
#include "tests/bench/bench.h"
#include "uninstall/uninstall.h"

#include <gtest/gtest.h>

namespace {

const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ombrix archiver";
const wchar_t kAppPathKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Ombrix.exe";

// A key with a default value, as an installation or a neighbour leaves it.
bool MakeKey(HKEY root, const wchar_t* path, const wchar_t* value = L"x") {
    return bench::SetText(root, path, L"", value) == ERROR_SUCCESS;
}

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
        EXPECT_FALSE(bench::KeyExists(HKEY_CLASSES_ROOT, key)) << key;
    }
    EXPECT_FALSE(bench::KeyExists(HKEY_CURRENT_USER, L"Software\\Ombrix"));
    // The uninstall entry is the driver's last change, not the integration's.
    EXPECT_TRUE(bench::KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    RemoveUninstallEntry();
    EXPECT_FALSE(bench::KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_FALSE(bench::KeyExists(HKEY_LOCAL_MACHINE, kAppPathKey));
    EXPECT_TRUE(bench::KeyExists(HKEY_CLASSES_ROOT, L"Ombrix.Neighbour"));
    EXPECT_TRUE(bench::KeyExists(HKEY_CURRENT_USER, L"Software\\OmbrixNeighbour"));
    EXPECT_TRUE(bench::KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ombrix neighbour"));

    bench::DeleteKeyTree(HKEY_CLASSES_ROOT, L"Ombrix.Neighbour");
    bench::DeleteKeyTree(HKEY_CURRENT_USER, L"Software\\OmbrixNeighbour");
    bench::DeleteKeyTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ombrix neighbour");
}

TEST(RemoveIntegration, NothingToRemoveRunsThroughQuietly) {
    for (const wchar_t* key : {L"Ombrix", L"Ombrix.ZIP", L"Ombrix.REV", L".rev"})
        bench::DeleteKeyTree(HKEY_CLASSES_ROOT, key);
    bench::DeleteKeyTree(HKEY_CURRENT_USER, L"Software\\Ombrix");
    RemoveIntegration();
    EXPECT_FALSE(bench::KeyExists(HKEY_CURRENT_USER, L"Software\\Ombrix"));
    EXPECT_FALSE(bench::KeyExists(HKEY_CLASSES_ROOT, L"Ombrix"));
}

TEST(RemoveIntegration, AnAppPathKeyWithSubkeysStays) {
    // The machine entries are removed as single keys; one with subkeys is not torn down.
    std::wstring child = std::wstring(kAppPathKey) + L"\\Extra";
    ASSERT_TRUE(MakeKey(HKEY_LOCAL_MACHINE, child.c_str()));
    RemoveIntegration();
    EXPECT_TRUE(bench::KeyExists(HKEY_LOCAL_MACHINE, kAppPathKey));
    bench::DeleteKeyTree(HKEY_LOCAL_MACHINE, kAppPathKey);
}
