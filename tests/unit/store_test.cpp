// The settings store against the real registry: routes, product-key paths, views, reads.
#include "settings/settings.h"
#include "tests/bench/bench.h"
#include "tests/unit/settingstest.h"

#include <gtest/gtest.h>

#include <string>

namespace {

testing::Environment* const g_turn = testing::AddGlobalTestEnvironment(new SettingsFileTurn);

const wchar_t kProduct[] = L"Software\\Ombrix";
const wchar_t kScratch[] = L"Software\\Ombrix\\TestStore";
const wchar_t kAbsolute[] = L"Software\\OmbrixTestStoreAbs";
const wchar_t kClass[] = L"OmbrixTestStore.ext";
const wchar_t kNewClass[] = L"OmbrixTestStore.new";
const wchar_t kView[] = L"Software\\Ombrix\\TestStoreView";

void WriteIni(const std::string& text) { ASSERT_TRUE(bench::WriteFileBytes(IniPath(), text)); }

class StoreTest : public SettingsKeysTest {
protected:
    StoreTest()
        : SettingsKeysTest({{HKEY_CURRENT_USER, kScratch},
                            {HKEY_CURRENT_USER, kAbsolute},
                            {HKEY_LOCAL_MACHINE, kScratch},
                            {HKEY_LOCAL_MACHINE, L"Software\\Ombrix\\Capabilities"},
                            {HKEY_CLASSES_ROOT, kClass},
                            {HKEY_CLASSES_ROOT, kNewClass},
                            {HKEY_LOCAL_MACHINE, kView, KEY_WOW64_64KEY},
                            {HKEY_LOCAL_MACHINE, kView, KEY_WOW64_32KEY},
                            {HKEY_CURRENT_USER, kProduct, 0, L"TestStoreValue"}}) {}
};

}  // namespace

TEST_F(StoreTest, WithoutFileEveryRootGoesToTheRegistry) {
    EXPECT_EQ(ERROR_SUCCESS, WriteUserString(L"TestStore", L"Name", L"value"));
    EXPECT_EQ(L"value", bench::ValueText(HKEY_CURRENT_USER, kScratch, L"Name"));
    wchar_t out[64];
    EXPECT_TRUE(ReadUserString(L"TestStore", L"Name", L"dflt", out, CountOf(out)));
    EXPECT_STREQ(L"value", out);

    EXPECT_EQ(ERROR_SUCCESS, WriteUserInt(L"TestStore", L"Count", -5));
    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(bench::ReadValue(HKEY_CURRENT_USER, kScratch, L"Count", &type, &bytes));
    EXPECT_EQ((DWORD)REG_DWORD, type);
    EXPECT_EQ(std::string("\xFB\xFF\xFF\xFF", 4), bytes);
    EXPECT_EQ(-5, ReadUserInt(L"TestStore", L"Count", 7));

    // The empty key path is the product key itself.
    EXPECT_EQ(ERROR_SUCCESS, WriteSettingString(HKEY_CURRENT_USER, L"", L"TestStoreValue", L"p"));
    EXPECT_EQ(L"p", bench::ValueText(HKEY_CURRENT_USER, kProduct, L"TestStoreValue"));
    DeleteUserValue(L"", L"TestStoreValue");
    EXPECT_EQ(L"missing", bench::ValueText(HKEY_CURRENT_USER, kProduct, L"TestStoreValue"));

    // A leading backslash makes the path relative to the root.
    EXPECT_EQ(ERROR_SUCCESS, WriteSettingString(HKEY_CURRENT_USER, L"\\Software\\OmbrixTestStoreAbs", L"v", L"abs"));
    EXPECT_EQ(L"abs", bench::ValueText(HKEY_CURRENT_USER, kAbsolute, L"v"));
    EXPECT_FALSE(bench::KeyExists(HKEY_CURRENT_USER, L"Software\\Ombrix\\Software"));

    EXPECT_EQ(ERROR_SUCCESS, WriteSettingString(HKEY_LOCAL_MACHINE, L"TestStore", L"v", L"machine"));
    EXPECT_EQ(L"machine", bench::ValueText(HKEY_LOCAL_MACHINE, kScratch, L"v"));
    EXPECT_EQ(ERROR_SUCCESS, WriteSettingInt(HKEY_LOCAL_MACHINE, L"TestStore", L"n", 3));
    EXPECT_EQ(3, ReadSettingInt(HKEY_LOCAL_MACHINE, L"TestStore", L"n", 0));

    // Class keys are the machine's own, by name: never the running user's, which the merged
    // root would prefer (Wine merges none, so the name is checked where it is chosen).
    EXPECT_EQ(ERROR_SUCCESS, WriteSettingString(HKEY_CLASSES_ROOT, kClass, L"", L"cls"));
    EXPECT_EQ(L"cls", bench::ValueText(HKEY_LOCAL_MACHINE, L"Software\\Classes\\" + std::wstring(kClass), L""));
    wchar_t path[80];
    EXPECT_TRUE(HKEY_LOCAL_MACHINE == RegistryRoot(HKEY_CLASSES_ROOT) &&
                ComposeRegistryPath(HKEY_CLASSES_ROOT, L".zip", path, CountOf(path)));
    EXPECT_STREQ(L"Software\\Classes\\.zip", path);
    EXPECT_FALSE(ComposeRegistryPath(HKEY_CLASSES_ROOT, L"", path, CountOf(path)));
    EXPECT_TRUE(ReadSettingString(HKEY_CLASSES_ROOT, kClass, L"", L"dflt", out, CountOf(out)));
    EXPECT_STREQ(L"cls", out);

    EXPECT_TRUE(SettingKeyExists(HKEY_CLASSES_ROOT, kClass));
    EXPECT_TRUE(SettingKeyExists(HKEY_CURRENT_USER, L"TestStore"));
    EXPECT_TRUE(SettingKeyExists(HKEY_CURRENT_USER, L"\\Software\\OmbrixTestStoreAbs"));
    EXPECT_FALSE(SettingKeyExists(HKEY_CURRENT_USER, L"TestStoreMissing"));

    DeleteUserValue(L"TestStore", L"Name");
    EXPECT_FALSE(ReadUserString(L"TestStore", L"Name", L"dflt", out, CountOf(out)));
    EXPECT_STREQ(L"dflt", out);
    EXPECT_FALSE(ReadUserString(L"TestStoreMissing", L"Name", L"gone", out, CountOf(out)));
    EXPECT_STREQ(L"gone", out);
    EXPECT_EQ(9, ReadUserInt(L"TestStoreMissing", L"Count", 9));
}

TEST_F(StoreTest, DeleteSettingKeyRemovesOnlyChildlessKeys) {
    ASSERT_EQ(ERROR_SUCCESS, WriteUserString(L"TestStore\\Sub", L"v", L"x"));
    DeleteSettingKey(HKEY_CURRENT_USER, L"TestStore");
    EXPECT_TRUE(bench::KeyExists(HKEY_CURRENT_USER, kScratch));
    DeleteSettingKey(HKEY_CURRENT_USER, L"TestStore\\Sub");
    EXPECT_FALSE(bench::KeyExists(HKEY_CURRENT_USER, L"Software\\Ombrix\\TestStore\\Sub"));
    DeleteSettingKey(HKEY_CURRENT_USER, L"TestStore");
    EXPECT_FALSE(bench::KeyExists(HKEY_CURRENT_USER, kScratch));
}

TEST_F(StoreTest, IntegerReadsTakeTheRawBytes) {
    ASSERT_EQ(ERROR_SUCCESS, bench::SetText(HKEY_CURRENT_USER, kScratch, L"one", L"1"));
    ASSERT_EQ(ERROR_SUCCESS, bench::SetText(HKEY_CURRENT_USER, kScratch, L"twelve", L"12"));
    const unsigned char two[] = {0xAA, 0xBB};
    ASSERT_EQ(ERROR_SUCCESS, bench::SetValue(HKEY_CURRENT_USER, kScratch, L"two", REG_BINARY, two, sizeof(two)));
    ASSERT_EQ(ERROR_SUCCESS, bench::SetValue(HKEY_CURRENT_USER, kScratch, L"empty", REG_BINARY, two, 0));
    // "1" with its terminator is 4 bytes: the code of the character.
    EXPECT_EQ(49, ReadUserInt(L"TestStore", L"one", 7));
    EXPECT_EQ(7, ReadUserInt(L"TestStore", L"twelve", 7));
    // A shorter value replaces only the low-order bytes of the default.
    EXPECT_EQ(0x1122BBAA, ReadUserInt(L"TestStore", L"two", 0x11223344));
    EXPECT_EQ(7, ReadUserInt(L"TestStore", L"empty", 7));
    EXPECT_EQ(7, ReadUserInt(L"TestStore", L"missing", 7));
}

TEST_F(StoreTest, StringReadsNeedRoomAndTerminateThemselves) {
    ASSERT_EQ(ERROR_SUCCESS, bench::SetText(HKEY_CURRENT_USER, kScratch, L"text", L"abcdef"));
    ASSERT_EQ(ERROR_SUCCESS, bench::SetValue(HKEY_CURRENT_USER, kScratch, L"bare", REG_SZ, L"xyz", 6));
    DWORD word = 0x00420041;
    ASSERT_EQ(ERROR_SUCCESS, bench::SetValue(HKEY_CURRENT_USER, kScratch, L"word", REG_DWORD, &word, sizeof(word)));

    wchar_t out[16];
    EXPECT_FALSE(ReadUserString(L"TestStore", L"text", L"d", out, 4));
    EXPECT_STREQ(L"d", out);
    EXPECT_TRUE(ReadUserString(L"TestStore", L"text", L"d", out, 7));
    EXPECT_STREQ(L"abcdef", out);
    // Without a stored terminator the text still ends where its bytes end.
    wmemset(out, L'#', CountOf(out));
    EXPECT_TRUE(ReadUserString(L"TestStore", L"bare", L"d", out, CountOf(out)));
    EXPECT_STREQ(L"xyz", out);
    // The type is not examined: a DWORD gives its bytes as two characters.
    EXPECT_TRUE(ReadUserString(L"TestStore", L"word", L"d", out, CountOf(out)));
    EXPECT_STREQ(L"AB", out);
    // A default that is too long for the output is cut.
    EXPECT_FALSE(ReadUserString(L"TestStore", L"missing", L"0123456789", out, 5));
    EXPECT_STREQ(L"0123", out);
}

TEST_F(StoreTest, ViewFlagReachesOpensCreatesAndKeyDeletionOnly) {
    SKIP_ON_X64_TEST_BUILD();
    SetRegistryView(KEY_WOW64_64KEY);
    EXPECT_EQ(ERROR_SUCCESS, WriteSettingString(HKEY_LOCAL_MACHINE, L"TestStoreView", L"v", L"64"));
    EXPECT_EQ(ERROR_SUCCESS, WriteSettingInt(HKEY_LOCAL_MACHINE, L"TestStoreView", L"n", 5));
    EXPECT_EQ(L"64", bench::ValueText(HKEY_LOCAL_MACHINE, kView, L"v", KEY_WOW64_64KEY));
    EXPECT_FALSE(bench::KeyExists(HKEY_LOCAL_MACHINE, kView));
    EXPECT_FALSE(bench::KeyExists(HKEY_LOCAL_MACHINE, kView, KEY_WOW64_32KEY));

    wchar_t out[16];
    EXPECT_TRUE(ReadSettingString(HKEY_LOCAL_MACHINE, L"TestStoreView", L"v", L"d", out, CountOf(out)));
    EXPECT_STREQ(L"64", out);
    EXPECT_EQ(5, ReadSettingInt(HKEY_LOCAL_MACHINE, L"TestStoreView", L"n", 0));
    EXPECT_TRUE(SettingKeyExists(HKEY_LOCAL_MACHINE, L"TestStoreView"));

    // These always work in the default view.
    DeleteSettingValue(HKEY_LOCAL_MACHINE, L"TestStoreView", L"v");
    EXPECT_EQ(L"64", bench::ValueText(HKEY_LOCAL_MACHINE, kView, L"v", KEY_WOW64_64KEY));
    DeleteSettingTree(HKEY_LOCAL_MACHINE, L"TestStoreView");
    EXPECT_TRUE(bench::KeyExists(HKEY_LOCAL_MACHINE, kView, KEY_WOW64_64KEY));

    SetRegistryView(0);
    EXPECT_FALSE(ReadSettingString(HKEY_LOCAL_MACHINE, L"TestStoreView", L"v", L"d", out, CountOf(out)));
    EXPECT_STREQ(L"d", out);
    DeleteSettingKey(HKEY_LOCAL_MACHINE, L"TestStoreView");
    EXPECT_TRUE(bench::KeyExists(HKEY_LOCAL_MACHINE, kView, KEY_WOW64_64KEY));

    // Only the 64-bit key's own contents decide whether it is empty, not an empty 32-bit one.
    HKEY empty32;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kView, 0, nullptr, 0, KEY_WRITE | KEY_WOW64_32KEY,
                                             nullptr, &empty32, nullptr));
    RegCloseKey(empty32);
    SetRegistryView(KEY_WOW64_64KEY);
    DeleteSettingKeyIfEmpty(HKEY_LOCAL_MACHINE, L"TestStoreView");
    EXPECT_EQ(L"64", bench::ValueText(HKEY_LOCAL_MACHINE, kView, L"v", KEY_WOW64_64KEY));
    DeleteSettingKey(HKEY_LOCAL_MACHINE, L"TestStoreView");
    EXPECT_FALSE(bench::KeyExists(HKEY_LOCAL_MACHINE, kView, KEY_WOW64_64KEY));
}

TEST_F(StoreTest, SettingsFileServesProductKeysAndTheNullRoot) {
    WriteIni("HKCU\\Setup\\ShellExt=1\r\nHKLM\\Capabilities\\Name=\"File\"\r\nGlobal\\Integration=1\r\n");
    EXPECT_EQ(1, ReadUserInt(L"Setup", L"ShellExt", 7));
    EXPECT_EQ(1, ReadSettingInt(HKEY_NULL_ROOT, L"Global", L"Integration", 7));
    wchar_t out[64];
    EXPECT_TRUE(ReadSettingString(HKEY_LOCAL_MACHINE, L"Capabilities", L"Name", L"d", out, CountOf(out)));
    EXPECT_STREQ(L"File", out);
    // A missing entry is the default, and still a success.
    EXPECT_TRUE(ReadUserString(L"Setup", L"Missing", L"d", out, CountOf(out)));
    EXPECT_STREQ(L"d", out);

    EXPECT_EQ(ERROR_SUCCESS, WriteSettingString(HKEY_LOCAL_MACHINE, L"Capabilities", L"Desc", L"x"));
    EXPECT_TRUE(ReadSettingString(HKEY_LOCAL_MACHINE, L"Capabilities", L"Desc", L"d", out, CountOf(out)));
    EXPECT_STREQ(L"x", out);
    EXPECT_FALSE(bench::KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Ombrix\\Capabilities"));
    EXPECT_EQ(ERROR_SUCCESS, WriteUserInt(L"TestStore", L"n", 2));
    EXPECT_FALSE(bench::KeyExists(HKEY_CURRENT_USER, kScratch));

    // Absolute paths and class keys still go to the registry.
    EXPECT_EQ(ERROR_SUCCESS, WriteSettingString(HKEY_LOCAL_MACHINE, L"\\Software\\Ombrix\\TestStore", L"v", L"reg"));
    EXPECT_EQ(L"reg", bench::ValueText(HKEY_LOCAL_MACHINE, kScratch, L"v"));
    EXPECT_EQ(ERROR_SUCCESS, WriteSettingString(HKEY_CLASSES_ROOT, kClass, L"", L"cls"));
    EXPECT_EQ(L"cls", bench::ValueText(HKEY_CLASSES_ROOT, kClass, L""));

    EXPECT_TRUE(SettingKeyExists(HKEY_CURRENT_USER, L"Setup"));
    EXPECT_FALSE(SettingKeyExists(HKEY_CURRENT_USER, L"Set"));
    EXPECT_TRUE(SettingKeyExists(HKEY_LOCAL_MACHINE, L"Capabilities"));
    EXPECT_TRUE(SettingKeyExists(HKEY_NULL_ROOT, L"Global"));
    EXPECT_TRUE(SettingKeyExists(HKEY_LOCAL_MACHINE, L"\\Software\\Ombrix\\TestStore"));

    DeleteSettingValue(HKEY_CURRENT_USER, L"Setup", L"ShellExt");
    EXPECT_EQ(7, ReadUserInt(L"Setup", L"ShellExt", 7));
    EXPECT_FALSE(SettingKeyExists(HKEY_CURRENT_USER, L"Setup"));
    DeleteSettingKey(HKEY_LOCAL_MACHINE, L"Capabilities");
    EXPECT_FALSE(SettingKeyExists(HKEY_LOCAL_MACHINE, L"Capabilities"));
    EXPECT_TRUE(SettingKeyExists(HKEY_NULL_ROOT, L"Global"));
}

TEST_F(StoreTest, IntegrationOffSuppressesEveryRegistryAccess) {
    ASSERT_EQ(ERROR_SUCCESS, bench::SetText(HKEY_CLASSES_ROOT, kClass, L"", L"before"));
    ASSERT_EQ(ERROR_SUCCESS, bench::SetText(HKEY_CURRENT_USER, kAbsolute, L"v", L"before"));
    WriteIni("Global\\Integration=0\r\nHKCU\\Setup\\ShellExt=1\r\n");

    // Neither asks for the file, so the switch is still the one of program start.
    SetRegistryView(0);
    EXPECT_TRUE(IsIntegrationEnabled());

    EXPECT_EQ(ERROR_SUCCESS, WriteSettingString(HKEY_CLASSES_ROOT, kClass, L"", L"after"));
    EXPECT_FALSE(IsIntegrationEnabled());
    EXPECT_EQ(L"before", bench::ValueText(HKEY_CLASSES_ROOT, kClass, L""));
    EXPECT_EQ(ERROR_SUCCESS, WriteSettingInt(HKEY_CLASSES_ROOT, kNewClass, L"n", 1));
    EXPECT_FALSE(bench::KeyExists(HKEY_CLASSES_ROOT, kNewClass));
    EXPECT_EQ(ERROR_SUCCESS, WriteSettingString(HKEY_CURRENT_USER, L"\\Software\\OmbrixTestStoreAbs", L"v", L"after"));
    EXPECT_EQ(L"before", bench::ValueText(HKEY_CURRENT_USER, kAbsolute, L"v"));

    wchar_t out[16];
    EXPECT_TRUE(ReadSettingString(HKEY_CLASSES_ROOT, kClass, L"", L"dflt", out, CountOf(out)));
    EXPECT_STREQ(L"dflt", out);
    EXPECT_EQ(4, ReadSettingInt(HKEY_CURRENT_USER, L"\\Software\\OmbrixTestStoreAbs", L"v", 4));
    EXPECT_FALSE(SettingKeyExists(HKEY_CLASSES_ROOT, kClass));

    DeleteSettingValue(HKEY_CURRENT_USER, L"\\Software\\OmbrixTestStoreAbs", L"v");
    EXPECT_EQ(L"before", bench::ValueText(HKEY_CURRENT_USER, kAbsolute, L"v"));
    DeleteSettingKey(HKEY_CLASSES_ROOT, kClass);
    DeleteSettingTree(HKEY_CLASSES_ROOT, kClass);
    EXPECT_TRUE(bench::KeyExists(HKEY_CLASSES_ROOT, kClass));

    // The file itself still serves its keys.
    EXPECT_EQ(1, ReadUserInt(L"Setup", L"ShellExt", 7));
    EXPECT_EQ(ERROR_SUCCESS, WriteUserString(L"Setup", L"X", L"y"));
    EXPECT_TRUE(ReadUserString(L"Setup", L"X", L"d", out, CountOf(out)));
    EXPECT_STREQ(L"y", out);

    ClearSettingsFile();
    EXPECT_TRUE(IsIntegrationEnabled());
}

TEST_F(StoreTest, RegistryPathThatDoesNotFitIsNeverCut) {
    // A key path whose registry path runs past 511 characters; its first 511 characters name
    // another key, which must stay untouched.
    const std::wstring cut = PathOfLength(kScratch, 511);
    const std::wstring fits = cut.substr(wcslen(kProduct) + 1);
    const std::wstring overlong = fits + L"\\Tail";
    ASSERT_EQ(ERROR_SUCCESS, bench::SetText(HKEY_CURRENT_USER, cut.c_str(), L"keep", L"kept"));

    // A path of exactly 511 characters is used as it is.
    wchar_t out[16];
    EXPECT_TRUE(ReadUserString(fits.c_str(), L"keep", L"d", out, CountOf(out)));
    EXPECT_STREQ(L"kept", out);

    EXPECT_EQ(ERROR_FILENAME_EXCED_RANGE, WriteUserString(overlong.c_str(), L"keep", L"overwritten"));
    EXPECT_EQ(ERROR_FILENAME_EXCED_RANGE, WriteUserInt(overlong.c_str(), L"keep", 1));
    EXPECT_EQ(L"kept", bench::ValueText(HKEY_CURRENT_USER, cut.c_str(), L"keep"));
    EXPECT_FALSE(ReadUserString(overlong.c_str(), L"keep", L"d", out, CountOf(out)));
    EXPECT_STREQ(L"d", out);
    EXPECT_EQ(3, ReadUserInt(overlong.c_str(), L"keep", 3));
    EXPECT_FALSE(SettingKeyExists(HKEY_CURRENT_USER, overlong.c_str()));

    DeleteUserValue(overlong.c_str(), L"keep");
    DeleteSettingKey(HKEY_CURRENT_USER, overlong.c_str());
    DeleteSettingTree(HKEY_CURRENT_USER, overlong.c_str());
    EXPECT_EQ(L"kept", bench::ValueText(HKEY_CURRENT_USER, cut.c_str(), L"keep"));

    // The same through an absolute path and under the classes root.
    const std::wstring absolute = L"\\" + cut + L"\\Tail";
    EXPECT_EQ(ERROR_FILENAME_EXCED_RANGE, WriteSettingString(HKEY_CURRENT_USER, absolute.c_str(), L"keep", L"x"));
    EXPECT_EQ(L"kept", bench::ValueText(HKEY_CURRENT_USER, cut.c_str(), L"keep"));
    const std::wstring longClass = PathOfLength(kClass, 511) + L"\\Tail";
    EXPECT_EQ(ERROR_FILENAME_EXCED_RANGE, WriteSettingString(HKEY_CLASSES_ROOT, longClass.c_str(), L"", L"x"));
    EXPECT_FALSE(bench::KeyExists(HKEY_CLASSES_ROOT, kClass));
}
