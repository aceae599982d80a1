// The product's folders: the settings folder, the application-data folder, the temporary folder and
// the language folder's setting, from what the user configured under HKCU\Software\Ombrix or from
// the system.
#include "settings/settings.h"
#include "tests/bench/bench.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>

namespace {

const wchar_t kPathsKey[] = L"Software\\Ombrix\\Paths";

std::wstring Buf(const wchar_t* text) { return std::wstring(text); }

std::wstring ThisProgramsFolder() {
    wchar_t program[kPathChars];
    GetModuleFileNameW(nullptr, program, CountOf(program));
    std::wstring path = program;
    return path.substr(0, path.find_last_of(L'\\'));
}

std::wstring ShellAppData() {
    wchar_t folder[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, folder))) return L"";
    return folder;
}

// A scratch folder in the temporary folder, removed with everything in it.
class FoldersTest : public testing::Test {
protected:
    void SetUp() override { scratch_ = bench::ScratchFolder(L"folders"); }
    void TearDown() override { bench::RemoveTree(scratch_); }
    std::wstring Path(const wchar_t* name) const { return scratch_ + L"\\" + name; }
    std::wstring MakeFolder(const wchar_t* name) const {
        std::wstring path = Path(name);
        CreateDirectoryW(path.c_str(), nullptr);
        return path;
    }

    std::wstring scratch_;
};

// One value under HKCU\Software\Ombrix, set for a case and put back after it.
class SavedPathValue : public bench::SavedValue {
public:
    explicit SavedPathValue(const wchar_t* name, const wchar_t* keyPath = kPathsKey)
        : SavedValue(HKEY_CURRENT_USER, keyPath, name), name_(name), key_(keyPath) {}
    void Set(const std::wstring& text, DWORD type = REG_SZ) const {
        ASSERT_EQ(ERROR_SUCCESS, bench::SetValue(HKEY_CURRENT_USER, key_, name_, type, text.c_str(),
                                                 (DWORD)((text.size() + 1) * sizeof(wchar_t))));
    }
    void Remove() const { bench::DeleteValue(HKEY_CURRENT_USER, key_, name_); }

private:
    const wchar_t* name_;
    const wchar_t* key_;
};

}  // namespace

TEST_F(FoldersTest, SettingsFolderTakesTheConfiguredPathFirst) {
    SavedPathValue saved(L"AppData");
    std::wstring appDataOmbrix = ShellAppData() + L"\\Ombrix";
    bool hadAppDataOmbrix = bench::PathExists(appDataOmbrix);
    std::wstring fallback = hadAppDataOmbrix ? appDataOmbrix : ThisProgramsFolder();
    wchar_t out[kPathChars];

    std::wstring configured = MakeFolder(L"settings") + L"\\";
    saved.Set(configured);
    SettingsFolder(ConfiguredFolder::Asked, out, CountOf(out));
    EXPECT_EQ(configured, Buf(out));  // as stored, backslash and all
    SettingsFolder(ConfiguredFolder::NotAsked, out, CountOf(out));
    EXPECT_EQ(fallback, Buf(out));

    saved.Set(Path(L"settings"), REG_EXPAND_SZ);  // whatever the value's type
    SettingsFolder(ConfiguredFolder::Asked, out, CountOf(out));
    EXPECT_EQ(Path(L"settings"), Buf(out));

    saved.Set(Path(L"missing"));
    SettingsFolder(ConfiguredFolder::Asked, out, CountOf(out));
    EXPECT_EQ(fallback, Buf(out));

    saved.Set(L"");
    SettingsFolder(ConfiguredFolder::Asked, out, CountOf(out));
    EXPECT_EQ(fallback, Buf(out));

    saved.Remove();
    if (hadAppDataOmbrix) return;
    ASSERT_TRUE(CreateDirectoryW(appDataOmbrix.c_str(), nullptr));
    SettingsFolder(ConfiguredFolder::Asked, out, CountOf(out));
    RemoveDirectoryW(appDataOmbrix.c_str());
    EXPECT_EQ(appDataOmbrix, Buf(out));
}

TEST(AppData, ProductFolderInRoamingApplicationData) {
    std::wstring expected = ShellAppData() + L"\\Ombrix";
    ASSERT_NE(L"\\Ombrix", expected);
    bool existed = bench::PathExists(expected);
    wchar_t out[kPathChars];
    if (!existed) {
        EXPECT_FALSE(AppDataFolder(out, CountOf(out)));
        EXPECT_EQ(expected, Buf(out));  // the candidate, never created
        EXPECT_FALSE(bench::PathExists(expected));
        ASSERT_TRUE(CreateDirectoryW(expected.c_str(), nullptr));
    }
    bool found = AppDataFolder(out, CountOf(out));
    if (!existed) RemoveDirectoryW(expected.c_str());
    EXPECT_TRUE(found);
    EXPECT_EQ(expected, Buf(out));

    wchar_t small[8];
    for (auto& c : small) c = L'#';
    EXPECT_FALSE(AppDataFolder(small, 5));
    EXPECT_EQ(expected.substr(0, 4), Buf(small));
    EXPECT_EQ(L'#', small[5]);
}

TEST_F(FoldersTest, TempFolderHonoursAnExistingConfiguredFolder) {
    SavedPathValue saved(L"TempFolder");
    wchar_t temp[kPathChars];
    GetTempPathW(CountOf(temp), temp);
    std::wstring systemTemp = temp;
    ASSERT_EQ(L'\\', systemTemp.back());
    wchar_t out[kPathChars];

    saved.Remove();
    GetTempFolder(out, CountOf(out));
    EXPECT_EQ(systemTemp, Buf(out));

    // The scratch folder lies in %TEMP%, so this names it through the variable.
    std::wstring leaf = scratch_.substr(scratch_.find_last_of(L'\\') + 1);
    wchar_t tempVariable[kPathChars];
    ASSERT_GT(GetEnvironmentVariableW(L"TEMP", tempVariable, CountOf(tempVariable)), 0u);
    std::wstring viaVariable = std::wstring(tempVariable) + L"\\" + leaf;
    ASSERT_TRUE(bench::PathExists(viaVariable));
    saved.Set(L"%TEMP%\\" + leaf);
    GetTempFolder(out, CountOf(out));
    EXPECT_EQ(viaVariable + L"\\", Buf(out));

    saved.Set(scratch_ + L"\\");
    GetTempFolder(out, CountOf(out));
    EXPECT_EQ(scratch_ + L"\\", Buf(out));

    saved.Set(L"%TEMP%\\" + leaf + L"\\missing");
    GetTempFolder(out, CountOf(out));
    EXPECT_EQ(systemTemp, Buf(out));

    ASSERT_TRUE(bench::WriteFileBytes(Path(L"a-file"), "x"));
    saved.Set(Path(L"a-file"));
    GetTempFolder(out, CountOf(out));
    EXPECT_EQ(systemTemp, Buf(out));

    wchar_t small[8];
    for (auto& c : small) c = L'#';
    GetTempFolder(small, 4);
    EXPECT_LT(wcslen(small), 4u);
    EXPECT_EQ(L'#', small[4]);
}

TEST(LanguageFolder, OnlyTextWhoseStoredDataFitsWhole) {
    SavedPathValue saved(L"LanguageFolder", L"Software\\Ombrix\\General");
    wchar_t out[9];
    saved.Set(L"C:\\Lang", REG_EXPAND_SZ);  // 8 characters stored, the terminator with them
    EXPECT_TRUE(ConfiguredLanguageFolder(out, 9));
    EXPECT_STREQ(L"C:\\Lang", out);
    EXPECT_FALSE(ConfiguredLanguageFolder(out, 8));
    saved.Set(L"C:\\Lang", REG_BINARY);
    EXPECT_FALSE(ConfiguredLanguageFolder(out, 9));
}
