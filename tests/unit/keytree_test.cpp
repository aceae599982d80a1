// Removal of registry key trees, and of whole keys from the settings file.
#include "settings/settings.h"
#include "tests/bench/bench.h"
#include "tests/unit/settingstest.h"

#include <gtest/gtest.h>

#include <string>

namespace {

testing::Environment* const g_turn = testing::AddGlobalTestEnvironment(new SettingsFileTurn);

const wchar_t kProduct[] = L"Software\\Ombrix";
const wchar_t kTree[] = L"Software\\Ombrix\\TestTree";
const wchar_t kSibling[] = L"Software\\Ombrix\\TestTreeSibling";
const wchar_t kAbsolute[] = L"Software\\OmbrixTestTreeAbs";
const wchar_t kClass[] = L"OmbrixTestTree.cls";

void MakeKey(HKEY root, const std::wstring& path) {
    ASSERT_EQ(ERROR_SUCCESS, bench::SetText(root, path, L"value", L"v")) << path.size();
}

// Ten subkeys, each with three, each of those with two: far more than one pass removes.
void MakeDeepTree(HKEY root, const std::wstring& top) {
    for (int i = 0; i < 10; ++i) {
        for (int j = 0; j < 3; ++j) {
            for (int k = 0; k < 2; ++k) {
                MakeKey(root, top + L"\\K" + std::to_wstring(i) + L"\\L" + std::to_wstring(j) + L"\\M" +
                                  std::to_wstring(k));
            }
        }
    }
}

class KeyTreeTest : public SettingsKeysTest {
protected:
    KeyTreeTest()
        : SettingsKeysTest({{HKEY_CURRENT_USER, kTree}, {HKEY_CURRENT_USER, kSibling}, {HKEY_CURRENT_USER, kAbsolute},
                            {HKEY_CLASSES_ROOT, kClass}}) {}
};

}  // namespace

TEST_F(KeyTreeTest, DeepTreeIsGoneCompletelyUnderEveryRoot) {
    MakeDeepTree(HKEY_CURRENT_USER, kTree);
    MakeKey(HKEY_CURRENT_USER, kSibling);
    MakeDeepTree(HKEY_CLASSES_ROOT, kClass);
    MakeDeepTree(HKEY_CURRENT_USER, kAbsolute);

    DeleteSettingTree(HKEY_CURRENT_USER, L"TestTree");
    EXPECT_FALSE(bench::KeyExists(HKEY_CURRENT_USER, kTree));
    EXPECT_TRUE(bench::KeyExists(HKEY_CURRENT_USER, kSibling));

    DeleteSettingTree(HKEY_CLASSES_ROOT, kClass);
    EXPECT_FALSE(bench::KeyExists(HKEY_CLASSES_ROOT, kClass));

    DeleteSettingTree(HKEY_CURRENT_USER, L"\\Software\\OmbrixTestTreeAbs");
    EXPECT_FALSE(bench::KeyExists(HKEY_CURRENT_USER, kAbsolute));
    EXPECT_TRUE(bench::KeyExists(HKEY_CURRENT_USER, kSibling));
}

TEST_F(KeyTreeTest, MissingKeyOrEmptyPathChangesNothing) {
    MakeKey(HKEY_CURRENT_USER, kSibling);
    DeleteSettingTree(HKEY_CURRENT_USER, L"TestTree");
    EXPECT_FALSE(bench::KeyExists(HKEY_CURRENT_USER, kTree));
    EXPECT_TRUE(bench::KeyExists(HKEY_CURRENT_USER, kSibling));
    // The classes root itself is never removed.
    DeleteSettingTree(HKEY_CLASSES_ROOT, L"");
    EXPECT_TRUE(bench::KeyExists(HKEY_CLASSES_ROOT, L".txt") || bench::KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
}

TEST_F(KeyTreeTest, SubkeyWithTwoHundredCharacterNameStaysWithItsParent) {
    const std::wstring parent = std::wstring(kTree) + L"\\Long";
    const std::wstring longName = L"M" + std::wstring(199, L'n');
    const std::wstring shortEnough = L"L" + std::wstring(198, L'n');
    MakeKey(HKEY_CURRENT_USER, parent + L"\\A1\\deeper");
    MakeKey(HKEY_CURRENT_USER, parent + L"\\B2");
    MakeKey(HKEY_CURRENT_USER, parent + L"\\" + shortEnough);
    MakeKey(HKEY_CURRENT_USER, parent + L"\\" + longName + L"\\inside");
    MakeKey(HKEY_CURRENT_USER, parent + L"\\Z1");

    DeleteSettingTree(HKEY_CURRENT_USER, L"TestTree\\Long");
    EXPECT_TRUE(bench::KeyExists(HKEY_CURRENT_USER, parent));
    EXPECT_TRUE(bench::KeyExists(HKEY_CURRENT_USER, parent + L"\\" + longName + L"\\inside"));
    // Subkeys enumerated before the long name go.
    EXPECT_FALSE(bench::KeyExists(HKEY_CURRENT_USER, parent + L"\\A1"));
    EXPECT_FALSE(bench::KeyExists(HKEY_CURRENT_USER, parent + L"\\B2"));
    EXPECT_FALSE(bench::KeyExists(HKEY_CURRENT_USER, parent + L"\\" + shortEnough));
}

TEST_F(KeyTreeTest, ChildPathThatDoesNotFitIsLeftAlone) {
    // The child "x" fills the 511 characters exactly; "yy" would need one more.
    const std::wstring parent = PathOfLength(kTree, 509);
    MakeKey(HKEY_CURRENT_USER, parent + L"\\x");
    MakeKey(HKEY_CURRENT_USER, parent + L"\\yy");
    MakeKey(HKEY_CURRENT_USER, parent + L"\\yz");
    DeleteSettingTree(HKEY_CURRENT_USER, parent.substr(wcslen(kProduct) + 1).c_str());
    EXPECT_FALSE(bench::KeyExists(HKEY_CURRENT_USER, parent + L"\\x"));
    EXPECT_TRUE(bench::KeyExists(HKEY_CURRENT_USER, parent + L"\\yy"));
    EXPECT_TRUE(bench::KeyExists(HKEY_CURRENT_USER, parent + L"\\yz"));
    EXPECT_TRUE(bench::KeyExists(HKEY_CURRENT_USER, parent));

    // Under a parent of 510 characters every child path would be cut back to the parent itself.
    const std::wstring full = PathOfLength(kTree, 510);
    MakeKey(HKEY_CURRENT_USER, full + L"\\a");
    DeleteSettingTree(HKEY_CURRENT_USER, full.substr(wcslen(kProduct) + 1).c_str());
    EXPECT_TRUE(bench::KeyExists(HKEY_CURRENT_USER, full + L"\\a"));

    // A key path that does not fit at all removes nothing.
    const std::wstring cut = PathOfLength(kTree, 511);
    MakeKey(HKEY_CURRENT_USER, cut);
    DeleteSettingTree(HKEY_CURRENT_USER, (cut.substr(wcslen(kProduct) + 1) + L"\\Tail").c_str());
    EXPECT_TRUE(bench::KeyExists(HKEY_CURRENT_USER, cut));
}

TEST_F(KeyTreeTest, SettingsFileRemovesEntriesAndLeavesTheRegistry) {
    ASSERT_TRUE(bench::WriteFileBytes(IniPath(),
                                      "HKCU\\A=1\r\nHKCU\\Setup\\B=2\r\nHKCU\\Setup\\Sub\\C=3\r\nHKCU\\SetupX\\D=4\r\n"
                                      "HKLM\\E=5\r\nHKLM\\Setup\\F=6\r\n"));
    MakeKey(HKEY_CURRENT_USER, kTree);
    MakeKey(HKEY_CLASSES_ROOT, kClass);

    DeleteSettingTree(HKEY_CURRENT_USER, L"Setup");
    EXPECT_EQ(0, ReadUserInt(L"Setup", L"B", 0));
    EXPECT_EQ(0, ReadUserInt(L"Setup\\Sub", L"C", 0));
    EXPECT_EQ(4, ReadUserInt(L"SetupX", L"D", 0));
    EXPECT_EQ(1, ReadUserInt(L"", L"A", 0));
    EXPECT_EQ(6, ReadSettingInt(HKEY_LOCAL_MACHINE, L"Setup", L"F", 0));

    DeleteSettingTree(HKEY_CURRENT_USER, L"");
    EXPECT_FALSE(SettingKeyExists(HKEY_CURRENT_USER, L""));
    EXPECT_EQ(0, ReadUserInt(L"", L"A", 0));
    EXPECT_EQ(5, ReadSettingInt(HKEY_LOCAL_MACHINE, L"", L"E", 0));
    EXPECT_EQ(1, ReadSettingInt(HKEY_NULL_ROOT, L"Global", L"Integration", 0));
    EXPECT_TRUE(bench::KeyExists(HKEY_CURRENT_USER, kTree));

    // Class keys are never in the file.
    DeleteSettingTree(HKEY_CLASSES_ROOT, kClass);
    EXPECT_FALSE(bench::KeyExists(HKEY_CLASSES_ROOT, kClass));
}

TEST_F(KeyTreeTest, IntegrationOffLeavesTheRegistry) {
    ASSERT_TRUE(bench::WriteFileBytes(IniPath(), "Global\\Integration=0\r\n"));
    MakeDeepTree(HKEY_CLASSES_ROOT, kClass);
    MakeKey(HKEY_CURRENT_USER, kAbsolute);
    DeleteSettingTree(HKEY_CLASSES_ROOT, kClass);
    DeleteSettingTree(HKEY_CURRENT_USER, L"\\Software\\OmbrixTestTreeAbs");
    EXPECT_TRUE(bench::KeyExists(HKEY_CLASSES_ROOT, std::wstring(kClass) + L"\\K9\\L2\\M1"));
    EXPECT_TRUE(bench::KeyExists(HKEY_CURRENT_USER, kAbsolute));
}
