// The language library beside the program: loading, templates and strings from it, release
// so the file can be deleted, the version rule and the language folder as built.
#include "langtest.h"

#include "resources/resource.h"

using langtest::LanguageTest;

namespace {

class LanguageLibrary : public LanguageTest {
protected:
    static void SetUpTestSuite() { LoadSystemLibrary(L"riched20.dll"); }  // for the setup dialog
};

INT_PTR CALLBACK PlainDialog(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

std::wstring DialogCaption(HMODULE module, const wchar_t* name) {
    HWND dialog = CreateDialogParamW(module, name, nullptr, PlainDialog, 0);
    if (dialog == nullptr) return L"<no dialog>";
    wchar_t caption[200];
    GetWindowTextW(dialog, caption, CountOf(caption));
    DestroyWindow(dialog);
    return caption;
}

}  // namespace

TEST(LanguageLibraryRule, DataFileLoadFromXpServicePack2On) {
    struct Case {
        DWORD platform;
        DWORD major;
        WORD servicePack;
        bool asData;
    } cases[] = {
        {VER_PLATFORM_WIN32_NT, 5, 0, false},        {VER_PLATFORM_WIN32_NT, 5, 1, false},
        {VER_PLATFORM_WIN32_NT, 5, 2, true},         {VER_PLATFORM_WIN32_NT, 5, 3, true},
        {VER_PLATFORM_WIN32_NT, 4, 6, false},        {VER_PLATFORM_WIN32_NT, 6, 0, true},
        {VER_PLATFORM_WIN32_NT, 10, 0, true},        {VER_PLATFORM_WIN32_WINDOWS, 6, 2, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.asData, UseDataFileLoad(c.platform, c.major, c.servicePack))
            << c.platform << " " << c.major << " SP" << c.servicePack;
    }
}

TEST_F(LanguageLibrary, WithoutLibraryTheProgramServes) {
    LoadLanguageLibrary(GetModuleHandleW(nullptr));
    EXPECT_FALSE(IsLanguageLibraryLoaded());
    EXPECT_EQ(GetModuleHandleW(nullptr), ResourceModule());
    EXPECT_EQ(GetModuleHandleW(nullptr), ProgramModule());
    EXPECT_EQ(L"Ombrix setup", DialogCaption(ResourceModule(), L"DONEDLG"));
    EXPECT_EQ(nullptr, FindResourceW(ResourceModule(), L"RTL", RT_DIALOG));
}

TEST_F(LanguageLibrary, LoadedLibraryServesUntilReleasedAndCanThenBeDeleted) {
    InstallLibrary(L"fixtures");
    EXPECT_NE(ResourceModule(), ProgramModule());
    EXPECT_EQ(GetModuleHandleW(nullptr), ProgramModule());
    EXPECT_EQ(L"Ombrix-Einrichtung abgeschlossen", DialogCaption(ResourceModule(), L"DONEDLG"));
    EXPECT_EQ(L"Ombrix-Einrichtung", DialogCaption(ResourceModule(), L"SETUPDLG"));
    EXPECT_EQ(L"Kontextmen\x00FC" L"eintr\x00E4ge", DialogCaption(ResourceModule(), L"SETUPCONTEXTITEMS"));
    EXPECT_STREQ(L"Ombrix deinstallieren", GetMessageText(IDS_UNINSTALLKVA));
    EXPECT_STREQ(L"https://www.ombrix.example/", GetMessageText(IDS_HOMEURL));  // the library lacks it

    // Loading again first lets go of the library that is loaded.
    LoadLanguageLibrary(GetModuleHandleW(nullptr));
    EXPECT_TRUE(IsLanguageLibraryLoaded());

    ReleaseLanguageLibrary();
    EXPECT_FALSE(IsLanguageLibraryLoaded());
    EXPECT_EQ(ProgramModule(), ResourceModule());
    EXPECT_STREQ(L"Uninstall Ombrix", GetMessageText(IDS_UNINSTALLKVA));
    EXPECT_EQ(L"Ombrix setup", DialogCaption(ResourceModule(), L"DONEDLG"));
    EXPECT_TRUE(DeleteFileW(langtest::LibraryPath().c_str())) << GetLastError();
    ReleaseLanguageLibrary();  // nothing left to release
    EXPECT_EQ(ProgramModule(), ResourceModule());
}

TEST_F(LanguageLibrary, LanguageFolderIsOffAsBuilt) {
    wchar_t out[kPathChars];
    ResolveInLanguageFolder(L"C:\\Program Files\\Ombrix\\uninstall.lng", out, CountOf(out));
    EXPECT_STREQ(L"C:\\Program Files\\Ombrix\\uninstall.lng", out);
    wchar_t small[8];
    ResolveInLanguageFolder(L"C:\\Program Files\\Ombrix\\uninstall.lng", small, CountOf(small));
    EXPECT_STREQ(L"C:\\Prog", small);
    wchar_t same[kPathChars] = L"kvalng.dll";
    ResolveInLanguageFolder(same, same, CountOf(same));
    EXPECT_STREQ(L"kvalng.dll", same);

    // A configured folder that holds the file changes nothing while the build marker is off.
    std::wstring folder = bench::ScratchFolder(L"langfolder");
    ASSERT_TRUE(bench::WriteFileBytes(folder + L"\\uninstall.lng", "***messages**\nIDS_BETA from folder"));
    const wchar_t general[] = L"Software\\Ombrix\\General";
    bool hadProductKey = bench::KeyExists(HKEY_CURRENT_USER, L"Software\\Ombrix");
    bool hadGeneral = bench::KeyExists(HKEY_CURRENT_USER, general);
    ASSERT_EQ(ERROR_SUCCESS, bench::SetText(HKEY_CURRENT_USER, general, L"LanguageFolder", folder));

    std::wstring beside = langtest::LanguageFilePath();
    ResolveInLanguageFolder(beside.c_str(), out, CountOf(out));
    EXPECT_EQ(beside, std::wstring(out));
    LoadLanguageFile(L"uninstall.lng");
    EXPECT_EQ(0u, LanguageEntryCount());

    bench::DeleteValue(HKEY_CURRENT_USER, general, L"LanguageFolder");
    if (!hadGeneral) {
        RegDeleteKeyW(HKEY_CURRENT_USER, general);
        if (!hadProductKey) RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Ombrix");
    }
    bench::RemoveTree(folder);
}
