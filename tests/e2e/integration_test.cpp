// The whole life of an installation in the test prefix: silent setup in a real program folder
// registers the archiver with Windows, the silent uninstall takes it all back, and the prefix's
// registry (both views) and drive C: then differ from their state before setup only where
// Windows itself keeps notes.
#include "tests/bench/bench.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

const wchar_t kProgramFolder[] = L"C:\\Program Files\\Ombrix";

std::wstring ReadDefault(HKEY root, const std::wstring& path, const wchar_t* value = nullptr, REGSAM view = 0) {
    wchar_t text[2048] = L"";
    DWORD size = sizeof(text) - sizeof(wchar_t);
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return L"(none)";
    LONG status = RegQueryValueExW(key, value, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::wstring(text) : L"(no value)";
}

void SetDefault(const std::wstring& path, const wchar_t* value, const wchar_t* text) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                             nullptr));
    RegSetValueExW(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), (DWORD)(wcslen(text) + 1) * 2);
    RegCloseKey(key);
}

std::wstring Folder(int id) {
    wchar_t path[MAX_PATH];
    return SHGetFolderPathW(nullptr, id, nullptr, 0, path) == S_OK ? path : L"";
}

bool CopyInto(const std::wstring& from, const wchar_t* name) {
    return CopyFileW(from.c_str(), (std::wstring(kProgramFolder) + L"\\" + name).c_str(), FALSE) != 0;
}

TEST(Integration, SetupThenUninstallLeavesNoResidue) {
    const std::wstring folder = kProgramFolder;
    bench::RemoveTree(folder);
    // Prior owners that the uninstall must give back: ".7z" with a "New" entry, ".zip" with a
    // template of its own.
    SetDefault(L".7z", nullptr, L"Test.SevenZip");
    SetDefault(L".7z\\ShellNew", L"NullFile", L"");
    SetDefault(L".zip", nullptr, L"Test.ZipFolder");
    SetDefault(L".zip\\ShellNew", L"FileName", L"C:\\windows\\zipempty.zip");

    const bench::Snapshot before = bench::TakeSnapshot();

    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring standins = bench::BuildFolder() + L"\\standins\\";
    ASSERT_TRUE(CopyInto(bench::ProgramUnderTest(), L"Uninstall.exe"));
    ASSERT_TRUE(CopyInto(standins + L"Ombrix.exe", L"Ombrix.exe"));
    ASSERT_TRUE(CopyInto(standins + L"kvaext.dll", L"kvaext.dll"));
    ASSERT_TRUE(CopyInto(standins + L"kvaext64.dll", L"kvaext64.dll"));
    for (const wchar_t* name : {L"Ombrix.chm", L"Kva.txt", L"What is new"}) {
        ASSERT_TRUE(bench::WriteFileBytes(folder + L"\\" + name, "text"));
    }
    ASSERT_TRUE(bench::WriteFileBytes(folder + L"\\Uninstall.lst",
                                      "Ombrix.exe\r\nkvaext.dll\r\nkvaext64.dll\r\nOmbrix.chm\r\nKva.txt\r\n"
                                      "What is new\r\nkvanew.dat\r\nzipnew.dat\r\nUninstall.lst\r\nUninstall.exe\r\n"));

    // Setup with the archiver's defaults plus a desktop shortcut.
    bench::RunSpec setup;
    setup.program = folder + L"\\Uninstall.exe";
    setup.arguments = L"/setup /S /initD1";
    setup.folder = folder;
    auto setupRun = bench::Run(setup);
    ASSERT_TRUE(setupRun.started);
    EXPECT_EQ(0u, setupRun.exitCode);
    EXPECT_TRUE(setupRun.windows.empty());

    // What Windows now sees.
    const std::wstring archiver = folder + L"\\Ombrix.exe";
    EXPECT_EQ(L"Ombrix", ReadDefault(HKEY_CLASSES_ROOT, L".7z"));
    EXPECT_EQ(L"Ombrix.ZIP", ReadDefault(HKEY_CLASSES_ROOT, L".zip"));
    EXPECT_EQ(L"\"" + archiver + L"\" \"%1\"", ReadDefault(HKEY_CLASSES_ROOT, L"Ombrix\\shell\\open\\command"));
    EXPECT_EQ(folder + L"\\zipnew.dat", ReadDefault(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName"));
    EXPECT_EQ(L"Test.SevenZip", ReadDefault(HKEY_CURRENT_USER, L"Software\\Ombrix\\Setup\\.7z", L"Type"));
    const std::wstring appPaths = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Ombrix.exe";
    EXPECT_EQ(archiver, ReadDefault(HKEY_LOCAL_MACHINE, appPaths, nullptr, KEY_WOW64_32KEY));
    EXPECT_EQ(archiver, ReadDefault(HKEY_LOCAL_MACHINE, appPaths, nullptr, KEY_WOW64_64KEY));
    const std::wstring entry = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ombrix archiver";
    EXPECT_EQ(L"\"" + folder + L"\\Uninstall.exe\"", ReadDefault(HKEY_LOCAL_MACHINE, entry, L"UninstallString"));
    EXPECT_EQ(L"\"" + folder + L"\\Uninstall.exe\" /S", ReadDefault(HKEY_LOCAL_MACHINE, entry, L"QuietUninstallString"));
    const std::wstring desktopLink = Folder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Ombrix.lnk";
    EXPECT_TRUE(bench::PathExists(desktopLink));
    EXPECT_TRUE(bench::PathExists(Folder(CSIDL_COMMON_PROGRAMS) + L"\\Ombrix\\Ombrix.lnk"));
    EXPECT_TRUE(bench::PathExists(folder + L"\\kvanew.dat"));

    // The uninstall, as "Programs and Features" starts it for an unattended removal.
    bench::RunSpec uninstall;
    uninstall.program = folder + L"\\Uninstall.exe";
    uninstall.arguments = L"/S";
    uninstall.folder = folder;
    uninstall.waitForChildren = true;
    auto uninstallRun = bench::Run(uninstall);
    ASSERT_TRUE(uninstallRun.started);
    EXPECT_FALSE(uninstallRun.timedOut);
    EXPECT_TRUE(uninstallRun.windows.empty());
    EXPECT_FALSE(bench::PathExists(folder));

    // Given back exactly: the previous owners, their "New" entries, nothing of the archiver.
    EXPECT_EQ(L"Test.SevenZip", ReadDefault(HKEY_CLASSES_ROOT, L".7z"));
    EXPECT_EQ(L"", ReadDefault(HKEY_CLASSES_ROOT, L".7z\\ShellNew", L"NullFile"));
    EXPECT_EQ(L"C:\\windows\\zipempty.zip", ReadDefault(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName"));
    const bench::Snapshot after = bench::TakeSnapshot();
    std::vector<std::wstring> residue = bench::Differences(before, after, bench::IsWindowsOwnChange);
    std::wstring listed;
    for (const auto& line : residue) listed += line + L"\n";
    EXPECT_TRUE(residue.empty()) << bench::Utf8(listed);

    bench::RemoveTree(folder);
    for (const wchar_t* key : {L".7z\\ShellNew", L".7z", L".zip\\ShellNew", L".zip"}) RegDeleteKeyW(HKEY_CLASSES_ROOT, key);
}

}  // namespace
