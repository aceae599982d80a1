// The whole life of an installation in the test prefix: silent setup in a real program folder
// registers the archiver with Windows, the silent uninstall takes it all back, and the prefix's
// registry (both views) and drive C: then differ from their state before setup only where
// Windows itself keeps notes.
#include "integration/integration.h"
#include "tests/bench/bench.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

const wchar_t kProgramFolder[] = L"C:\\Program Files\\Ombrix";

void SetValue(const std::wstring& path, const wchar_t* value, DWORD type, const std::wstring& data) {
    ASSERT_EQ(ERROR_SUCCESS,
              bench::SetValue(HKEY_CLASSES_ROOT, path, value, type, data.data(), (DWORD)(data.size() * sizeof(wchar_t))));
}

// Other programs' entries that setup takes over or passes by; the uninstall gives each back
// exactly: present or absent, with its type and its whole data.
const struct {
    const wchar_t* key;
    const wchar_t* value;
    DWORD type;
    std::wstring data;
} kPriorStates[] = {
    {L".kva", nullptr, REG_SZ, std::wstring(L"Old.Kva", 8)},  // the volumes have no key
    {L".k05", nullptr, REG_SZ, std::wstring(L"OtherVol", 9)},
    {L".rev", nullptr, REG_SZ, std::wstring(L"Other.Rev", 10)},
    {L".rev\\OpenWithProgids", L"Other.Rev", REG_NONE, L""},
    {L".zip", nullptr, REG_SZ, std::wstring(L"Test.ZipFolder", 15)},
    {L".zip\\ShellNew", L"FileName", REG_SZ, std::wstring(L"C:\\windows\\zipempty.zip", 24)},
    {L".zip\\ShellNew", L"ItemName", REG_EXPAND_SZ, std::wstring(L"@%SystemRoot%\\zipfldr.dll,-10194", 33)},
    {L".zip\\ShellNew", L"Data", REG_BINARY, std::wstring(L"PK\x0605", 3)},
    {L".7z", nullptr, REG_SZ, std::wstring(L"Test.SevenZip", 14)},
    {L".7z\\ShellNew", L"NullFile", REG_SZ, std::wstring(1, L'\0')},
    {L".tar\\OpenWithProgids", L"Tar.Other", REG_NONE, L""},  // a key with subkeys, no default
    {L".arj", L"Content Type", REG_SZ, std::wstring(L"application/arj", 16)},  // no default value
    {L".cab", nullptr, REG_EXPAND_SZ, std::wstring(L"%ProgramFiles%\\Cab.Type", 24)},
    {L".lzh", nullptr, REG_DWORD, std::wstring(L"BA", 2)},
    {L".gz", nullptr, REG_SZ, std::wstring(2000, L'g') + L'\0'},
    {L".iso", nullptr, REG_SZ, std::wstring(600, L'i') + L'\0'},  // a long owner is an owner
};

std::wstring Folder(int id) {
    wchar_t path[MAX_PATH];
    return SHGetFolderPathW(nullptr, id, nullptr, 0, path) == S_OK ? path : L"";
}

bool CopyInto(const std::wstring& from, const wchar_t* name) {
    return CopyFileW(from.c_str(), (std::wstring(kProgramFolder) + L"\\" + name).c_str(), FALSE) != 0;
}

// How the round trip is run: the settings in the registry or in Ombrix.ini, with setup's own
// template files in the installer's list or not, and the desktop shortcuts around it.
struct RoundTrip {
    bool settingsFile;
    const wchar_t* init;
    bool foreignUserLink;  // the user's "Ombrix.lnk" leads to another program
    bool downloadedIni;    // an "ombrix.ini" beside the installer says what ".zip" was before
};

// A settings file with a stray byte: read as far as it decodes, never rewritten, and it switches
// nothing off.
const char kDamagedIni[] = "\xEF\xBB\xBF; r\xE9glages\r\nHKCU\\Paths\\TempFolder=\"C:\\ProgramData\\OmbrixTemp\"\r\n";

// What a downloaded settings file may claim the user's record of ".zip" holds: a program's type
// and a "New" command; the uninstall then reads the user's settings from it.
const char kPlantedIni[] = "HKCU\\Paths\\TempFolder=\"C:\\ProgramData\\OmbrixTemp\"\r\n"
                           "HKCU\\Setup\\.zip\\Exist=1\r\nHKCU\\Setup\\.zip\\Type=\"exefile\"\r\n"
                           "HKCU\\Setup\\.zip\\PreviousDefault=\"1,650078006500660069006C0065000000\"\r\n"
                           "HKCU\\Setup\\.zip\\PreviousShellNew=\"43006F006D006D0061006E006400,1,63006D0064000000;\"\r\n";

// Upper-cased, with the registry view left out: "HKLM64\\Software\\X|v" names "HKLM\\SOFTWARE\\X|V".
std::string Fold(std::wstring path) {
    if (path.size() > 6 && path[0] == L'H' && path[4] != L'\\') path.erase(4, 2);
    std::string text = bench::Utf8(path);
    for (char& c : text) c = (char)toupper((unsigned char)c);
    size_t at = text.find("\\WOW6432NODE");
    return at == std::string::npos ? text : text.erase(at, 12);
}

// The run's log names every change the prefix shows between two snapshots, and names as a change
// (a line without "(no change)") only registry keys and values that changed.
void ExpectLogged(const std::wstring& logPath, const bench::Snapshot& from, const bench::Snapshot& to) {
    std::string log = bench::ReadFileBytes(logPath), folded = Fold(bench::Narrow2Wide(log)), changed;
    ASSERT_NE(std::string::npos, log.find("exit code 0: finished")) << log;
    for (std::wstring entry : bench::Differences(from, to, bench::IsWindowsOwnChange)) {
        std::string name = Fold(entry.substr(entry.find(L": ") + 2)), key = name.substr(0, name.find('|'));
        // A value also goes with its key.
        bool named = folded.find(name) != std::string::npos || folded.find("DELETED KEY " + key + ";") != std::string::npos ||
                     folded.find("DELETED KEY " + key + " (") != std::string::npos;
        EXPECT_TRUE(named) << name << " is not in " << bench::Utf8(logPath);
        changed += name + "\n";
    }
    for (size_t at = 0; (at = folded.find("REGISTRY: ", at)) != std::string::npos; at += 10) {
        std::string line = folded.substr(at, folded.find('\n', at) - at);
        size_t start = line.find(" HK"), end = line.find_first_of(":;(\r", start);
        while (end > start && end != std::string::npos && line[end - 1] == ' ') --end;
        if (line.find("(NO CHANGE)") == std::string::npos && start != std::string::npos) {
            std::string path = line.substr(start + 1, end - start - 1);
            // A key counts as changed when something in it did.
            EXPECT_TRUE(changed.find(path + "\n") != std::string::npos || changed.find(path + "|") != std::string::npos ||
                        changed.find(path + "\\") != std::string::npos) << line;
        }
    }
}

class Integration : public testing::TestWithParam<RoundTrip> {};

TEST_P(Integration, SetupThenUninstallLeavesNoResidue) {
    const RoundTrip& trip = GetParam();
    const std::wstring folder = kProgramFolder, cache = L"\\Ombrix.exe.WebView2";
    const std::wstring temp = L"C:\\ProgramData\\OmbrixTemp", systemTemp = bench::ScratchFolder(L"SystemTemp");
    bench::ComScope com;
    bench::RemoveTree(folder);
    for (const auto& prior : kPriorStates) SetValue(prior.key, prior.value, prior.type, prior.data);
    const std::wstring userLink = Folder(CSIDL_DESKTOPDIRECTORY) + L"\\Ombrix.lnk";
    const std::wstring commonLink = Folder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Ombrix.lnk";
    const std::wstring archiver = folder + L"\\Ombrix.exe";
    auto link = [](const std::wstring& target, const std::wstring& file) {
        return CreateShellLink(target.c_str(), file.c_str(), nullptr, nullptr, nullptr);
    };
    for (const std::wstring& file : {userLink, commonLink}) DeleteFileW(file.c_str());
    // Another program's shortcuts of the same name are not the archiver's.
    const std::wstring startLink = Folder(CSIDL_COMMON_STARTMENU) + L"\\Ombrix.lnk";
    if (trip.foreignUserLink) {
        ASSERT_TRUE(link(L"C:\\windows\\notepad.exe", userLink));
        ASSERT_TRUE(link(L"C:\\windows\\notepad.exe", startLink));
    }
    CreateDirectoryW(temp.c_str(), nullptr);

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
    // Left by an earlier installation: the archiver's shortcuts on both desktops, its browser
    // cache in the configured temporary folder (and one in the system's, which is not ours).
    if (!trip.foreignUserLink) {
        ASSERT_TRUE(link(archiver, userLink));
    }
    ASSERT_TRUE(link(archiver, commonLink));
    for (const std::wstring& base : {temp, systemTemp}) {
        ASSERT_TRUE(CreateDirectoryW((base + cache).c_str(), nullptr));
        ASSERT_TRUE(bench::WriteFileBytes(base + cache + L"\\Local State", "{}"));
    }
    std::string list = "Ombrix.exe\r\nkvaext.dll\r\nkvaext64.dll\r\nOmbrix.chm\r\nKva.txt\r\nWhat is new\r\n"
                       "Uninstall.lst\r\nUninstall.exe\r\n";
    if (trip.settingsFile) {
        list += "Ombrix.ini\r\n";
        ASSERT_TRUE(bench::WriteFileBytes(folder + L"\\Ombrix.ini", kDamagedIni));
    } else {
        bench::SetText(HKEY_CURRENT_USER, L"Software\\Ombrix\\Paths", L"TempFolder", temp);
    }
    ASSERT_TRUE(bench::WriteFileBytes(folder + L"\\Uninstall.lst", list));

    // Setup with the archiver's defaults, as the installer starts it.
    bench::RunSpec setup;
    setup.program = folder + L"\\Uninstall.exe";
    setup.arguments = std::wstring(L"/setup /S /log=\"") + systemTemp + L"\\setup.log\" " + trip.init;
    setup.folder = folder;
    setup.environment = {{L"TEMP", systemTemp}, {L"TMP", systemTemp}};
    if (trip.downloadedIni) {
        ASSERT_TRUE(bench::WriteFileBytes(systemTemp + L"\\ombrix.ini", kPlantedIni));
        ASSERT_TRUE(bench::WriteFileBytes(folder + L"\\Uninstall.lst", list + "ombrix.ini\r\n"));
        setup.environment.push_back({L"sfxname", systemTemp + L"\\ombrix-setup.exe"});
    }
    // An uninstall's batch file still waits in this folder: setup takes its turn after it.
    PROCESS_INFORMATION waiting{};
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    std::wstring waitLine = L"\"" + setup.program + L"\" /wait /wait /wait";
    ASSERT_TRUE(CreateProcessW(nullptr, &waitLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &waiting));
    Sleep(1000);  // time to start, not a measure
    const bench::Snapshot prepared = bench::TakeSnapshot();
    auto setupRun = bench::Run(setup);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(waiting.hProcess, 0)) << "setup ran beside the waiting instance";
    for (HANDLE handle : {waiting.hProcess, waiting.hThread}) CloseHandle(handle);
    ASSERT_TRUE(setupRun.started);
    EXPECT_EQ(0u, setupRun.exitCode);
    EXPECT_TRUE(setupRun.windows.empty());

    // What Windows now sees.
    EXPECT_EQ(L"Ombrix", bench::ValueText(HKEY_CLASSES_ROOT, L".7z", nullptr));
    EXPECT_EQ(L"Ombrix", bench::ValueText(HKEY_CLASSES_ROOT, L".k05", nullptr));
    EXPECT_EQ(L"Ombrix.REV", bench::ValueText(HKEY_CLASSES_ROOT, L".rev", nullptr));
    EXPECT_EQ(std::wstring(600, L'i'), bench::ValueText(HKEY_CLASSES_ROOT, L".iso", nullptr));
    EXPECT_EQ(L"Ombrix.ZIP", bench::ValueText(HKEY_CLASSES_ROOT, L".zip", nullptr));
    EXPECT_EQ(L"\"" + archiver + L"\" \"%1\"", bench::ValueText(HKEY_CLASSES_ROOT, L"Ombrix\\shell\\open\\command", nullptr));
    EXPECT_EQ(folder + L"\\zipnew.dat", bench::ValueText(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName"));
    EXPECT_EQ(L"missing", bench::ValueText(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"ItemName"));
    // Windows finds the capabilities where they are announced, whichever store holds the settings.
    const std::wstring registered = bench::ValueText(HKEY_LOCAL_MACHINE, L"Software\\RegisteredApplications", L"Ombrix");
    EXPECT_EQ(L"Ombrix", bench::ValueText(HKEY_LOCAL_MACHINE, registered, L"ApplicationDescription"));
    EXPECT_EQ(L"Ombrix.ZIP", bench::ValueText(HKEY_LOCAL_MACHINE, registered + L"\\FileAssociations", L".zip"));
    const std::wstring appPaths = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Ombrix.exe";
    EXPECT_EQ(archiver, bench::ValueText(HKEY_LOCAL_MACHINE, appPaths, nullptr, KEY_WOW64_32KEY));
    EXPECT_EQ(archiver, bench::ValueText(HKEY_LOCAL_MACHINE, appPaths, nullptr, KEY_WOW64_64KEY));
    const std::wstring entry = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ombrix archiver";
    EXPECT_EQ(L"\"" + folder + L"\\Uninstall.exe\"", bench::ValueText(HKEY_LOCAL_MACHINE, entry, L"UninstallString"));
    EXPECT_EQ(L"\"" + folder + L"\\Uninstall.exe\" /S", bench::ValueText(HKEY_LOCAL_MACHINE, entry, L"QuietUninstallString"));
    EXPECT_TRUE(bench::PathExists(Folder(CSIDL_COMMON_PROGRAMS) + L"\\Ombrix\\Ombrix.lnk"));
    EXPECT_TRUE(bench::PathExists(folder + L"\\kvanew.dat"));
    EXPECT_TRUE(!trip.settingsFile || bench::ReadFileBytes(folder + L"\\Ombrix.ini") == kDamagedIni);

    DWORD size = 0;
    EXPECT_TRUE(bench::ReadDword(HKEY_LOCAL_MACHINE, entry, L"EstimatedSize", &size));
    uint64_t listedBytes = 0;
    for (const wchar_t* name : {L"Ombrix.exe", L"kvaext.dll", L"kvaext64.dll", L"Ombrix.chm", L"Kva.txt", L"What is new", L"Uninstall.lst", L"Uninstall.exe"})
        listedBytes += bench::ReadFileBytes(folder + L"\\" + name).size();
    if (trip.settingsFile) listedBytes += bench::ReadFileBytes(folder + L"\\Ombrix.ini").size();
    EXPECT_EQ((listedBytes + 1023) / 1024, size);
    SYSTEMTIME today;
    GetLocalTime(&today);
    wchar_t date[16];
    swprintf(date, 16, L"%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
    EXPECT_EQ(date, bench::ValueText(HKEY_LOCAL_MACHINE, entry, L"InstallDate"));
    EXPECT_EQ(L"https://www.ombrix.example/", bench::ValueText(HKEY_LOCAL_MACHINE, entry, L"URLInfoAbout"));
    const bench::Snapshot afterSetup = bench::TakeSnapshot();
    ExpectLogged(systemTemp + L"\\setup.log", prepared, afterSetup);

    // The uninstall, as "Programs and Features" starts it for an unattended removal.
    bench::RunSpec uninstall = setup;
    uninstall.arguments = L"/S /log=" + systemTemp + L"\\uninstall.log";
    uninstall.waitForChildren = true;
    auto uninstallRun = bench::Run(uninstall);
    ASSERT_TRUE(uninstallRun.started);
    EXPECT_FALSE(uninstallRun.timedOut);
    EXPECT_EQ(0u, uninstallRun.exitCode);
    EXPECT_TRUE(uninstallRun.windows.empty());
    EXPECT_FALSE(bench::PathExists(folder));
    EXPECT_TRUE(bench::PathExists(systemTemp + cache));
    EXPECT_EQ(trip.foreignUserLink, bench::PathExists(userLink));
    EXPECT_EQ(trip.foreignUserLink, bench::PathExists(startLink));

    // Given back exactly: the previous owners, their "New" entries, nothing of the archiver.
    const bench::Snapshot after = bench::TakeSnapshot();
    ExpectLogged(systemTemp + L"\\uninstall.log", afterSetup, after);
    // Once the settings file was carried over, setup's own values in the registry are no longer read.
    std::vector<std::wstring> residue = bench::Differences(before, after, [&](const std::wstring& path) {
        return bench::IsWindowsOwnChange(path) || (trip.downloadedIni && path.rfind(L"HKCU", 0) == 0 && path.find(L"\\Software\\Ombrix") == 6);
    });
    std::wstring listed;
    for (const auto& line : residue) listed += line + L"\n";
    EXPECT_TRUE(residue.empty()) << bench::Utf8(listed);

    bench::RemoveTree(folder);
    bench::RemoveTree(temp);
    if (trip.downloadedIni) bench::DeleteKeyTree(HKEY_CURRENT_USER, L"Software\\Ombrix");
    bench::RemoveTree(systemTemp);
    DeleteFileW(userLink.c_str());
    DeleteFileW(startLink.c_str());
    for (const auto& prior : kPriorStates) bench::DeleteKeyTree(HKEY_CLASSES_ROOT, prior.key);
}

INSTANTIATE_TEST_SUITE_P(Stores, Integration,
                         testing::Values(RoundTrip{false, L"/initD1", false, false}, RoundTrip{true, L"", true, false},
                                         RoundTrip{false, L"", false, true}));

}  // namespace

namespace {

// A move: the archiver installed again into another folder, now without the desktop shortcut, after
// another program has taken ".7z". The old folder's shortcut and icons are taken over; the old
// folder's uninstaller then takes only its own files, and the new one's uninstall, started through
// another drive letter for the same folder, gives ".7z" back to that program and leaves the prefix
// otherwise as it was before the first setup.
TEST(Integration, MoveToAnotherFolderThenBothUninstalls) {
    const std::wstring first = kProgramFolder, second = L"C:\\Program Files\\Ombrix moved";
    bench::ComScope com;
    for (const std::wstring& folder : {first, second}) bench::RemoveTree(folder);
    for (const auto& prior : kPriorStates) SetValue(prior.key, prior.value, prior.type, prior.data);
    const std::wstring commonLink = Folder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Ombrix.lnk";
    DeleteFileW(commonLink.c_str());
    const bench::Snapshot before = bench::TakeSnapshot();
    auto run = [](const std::wstring& folder, const std::wstring& arguments) {
        bench::RunSpec spec;
        spec.program = folder + L"\\Uninstall.exe";
        spec.arguments = arguments;
        spec.folder = folder;
        spec.waitForChildren = true;
        bench::RunResult result = bench::Run(spec);
        EXPECT_TRUE(result.started && !result.timedOut && result.exitCode == 0) << bench::Utf8(folder + arguments);
    };
    for (const std::wstring& folder : {first, second}) {
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        ASSERT_TRUE(CopyFileW(bench::ProgramUnderTest().c_str(), (folder + L"\\Uninstall.exe").c_str(), FALSE));
        for (const wchar_t* name : {L"Ombrix.exe", L"kvaext.dll", L"kvaext64.dll"}) {
            ASSERT_TRUE(CopyFileW((bench::BuildFolder() + L"\\standins\\" + name).c_str(), (folder + L"\\" + name).c_str(), FALSE));
        }
        ASSERT_TRUE(bench::WriteFileBytes(folder + L"\\Uninstall.lst",
                                          "Ombrix.exe\r\nkvaext.dll\r\nkvaext64.dll\r\nUninstall.lst\r\nUninstall.exe\r\n"));
        if (folder == second) SetValue(L".7z", nullptr, REG_SZ, std::wstring(L"Other.Archive", 14));
        run(folder, folder == first ? L"/setup /S /initD1" : L"/setup /S /initD0");
    }
    EXPECT_FALSE(bench::PathExists(commonLink)) << "the shortcut to the old folder is the archiver's";
    EXPECT_EQ(second + L"\\Ombrix.exe,0", bench::ValueText(HKEY_CLASSES_ROOT, L"Ombrix\\DefaultIcon", nullptr));
    const std::wstring entry = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ombrix archiver";
    EXPECT_EQ(second + L"\\Ombrix.exe", bench::ValueText(HKEY_LOCAL_MACHINE, entry, L"DisplayIcon"));

    run(first, L"/S");
    EXPECT_FALSE(bench::PathExists(first));
    EXPECT_EQ(L"Ombrix.ZIP", bench::ValueText(HKEY_CLASSES_ROOT, L".zip", nullptr));
    EXPECT_EQ(L"\"" + second + L"\\Uninstall.exe\"", bench::ValueText(HKEY_LOCAL_MACHINE, entry, L"UninstallString"));

    run(L"P:\\Ombrix moved", L"/S");
    EXPECT_EQ(L"Other.Archive", bench::ValueText(HKEY_CLASSES_ROOT, L".7z", nullptr));
    SetValue(L".7z", nullptr, REG_SZ, std::wstring(L"Test.SevenZip", 14));
    std::wstring listed;
    for (const auto& line : bench::Differences(before, bench::TakeSnapshot(), bench::IsWindowsOwnChange)) listed += line + L"\n";
    EXPECT_TRUE(listed.empty()) << bench::Utf8(listed);
    for (const std::wstring& folder : {first, second}) bench::RemoveTree(folder);
    for (const auto& prior : kPriorStates) bench::DeleteKeyTree(HKEY_CLASSES_ROOT, prior.key);
}

}  // namespace
