// Shortcuts on the desktops, in the Start menu and in both program groups, read back through
// the shell's link object. A copy of this test in a scratch program folder makes them.
#include "integration/integration.h"
#include "tests/bench/bench.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace {

std::wstring ShellFolder(int id) {
    wchar_t path[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, id, nullptr, 0, path);
    return path;
}

struct Link {
    bool exists = false;
    std::wstring target, description, icon, workingDirectory;
    int iconIndex = -1;
};

// What Explorer would show for a shortcut file.
Link ReadLink(const std::wstring& path) {
    Link link;
    if (!bench::PathExists(path)) return link;
    link.exists = true;
    IShellLinkW* shellLink = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&shellLink)))) {
        return link;
    }
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        if (SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
            wchar_t text[MAX_PATH * 2] = L"";
            if (SUCCEEDED(shellLink->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH))) link.target = text;
            text[0] = 0;
            if (SUCCEEDED(shellLink->GetDescription(text, MAX_PATH))) link.description = text;
            text[0] = 0;
            if (SUCCEEDED(shellLink->GetIconLocation(text, MAX_PATH, &link.iconIndex))) link.icon = text;
            text[0] = 0;
            if (SUCCEEDED(shellLink->GetWorkingDirectory(text, MAX_PATH))) link.workingDirectory = text;
        }
        file->Release();
    }
    shellLink->Release();
    return link;
}

// Points the user's desktop at a scratch folder and back again afterwards: in the Wine prefix it
// is a link to the Linux home folder, which no test should write into. The shell keeps the
// folder in two keys.
class UserDesktop {
public:
    void MoveTo(const std::wstring& folder) {
        for (const wchar_t* key : {L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                                   L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"}) {
            saved_.emplace_back(HKEY_CURRENT_USER, key, L"Desktop");
            bench::SetText(HKEY_CURRENT_USER, key, L"Desktop", folder);
        }
    }

private:
    std::list<bench::SavedValue> saved_;
};

const wchar_t kDescription[] = L"Create, open and extract archives";

// One run of UpdateShortcuts in the copy: the link flags, and whether it is the removal
// (no folder buffer, no icon).
struct LinkFlags {
    bool desktop, startMenu, programs, removal;
};

class Shortcuts : public ::testing::Test {
protected:
    void SetUp() override {
        scratch_ = bench::ScratchFolder(L"shortcuts");
        program_ = scratch_ + L"\\Ombrix folder";
        ASSERT_TRUE(CreateDirectoryW(program_.c_str(), nullptr));
        ASSERT_TRUE(CopyFileW((bench::TestsFolder() + L"\\shortcuts_test.exe").c_str(),
                              (program_ + L"\\Uninstall.exe").c_str(), FALSE));
        ASSERT_TRUE(CopyFileW((bench::BuildFolder() + L"\\standins\\Ombrix.exe").c_str(),
                              (program_ + L"\\Ombrix.exe").c_str(), FALSE))
            << "the Ombrix.exe stand-in is not built";
        ASSERT_TRUE(bench::WriteFileBytes(program_ + L"\\Ombrix.chm", "help"));
        ASSERT_TRUE(bench::WriteFileBytes(program_ + L"\\What is new", "news"));
        icon_ = scratch_ + L"\\theme.ico";
        std::wstring desktop = scratch_ + L"\\Desktop";
        ASSERT_TRUE(CreateDirectoryW(desktop.c_str(), nullptr));
        desktop_.MoveTo(desktop);
        ASSERT_EQ(bench::Utf8(desktop), bench::Utf8(ShellFolder(CSIDL_DESKTOPDIRECTORY)));
        userDesktop_ = ShellFolder(CSIDL_DESKTOPDIRECTORY) + L"\\Ombrix.lnk";
        commonDesktop_ = ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Ombrix.lnk";
        startMenu_ = ShellFolder(CSIDL_COMMON_STARTMENU) + L"\\Ombrix.lnk";
        userGroup_ = ShellFolder(CSIDL_PROGRAMS) + L"\\Ombrix";
        commonGroup_ = ShellFolder(CSIDL_COMMON_PROGRAMS) + L"\\Ombrix";
        CleanUp();
    }
    void TearDown() override {
        CleanUp();
        bench::RemoveTree(scratch_);
    }
    void CleanUp() {
        for (const std::wstring& path : {userDesktop_, commonDesktop_, startMenu_, userGroup_, commonGroup_}) {
            bench::RemoveTree(path);
        }
    }

    // Runs UpdateShortcuts in the copy; returns the folder it handed back.
    std::wstring Update(const LinkFlags& run) {
        std::wstring result = scratch_ + L"\\result";
        DeleteFileW(result.c_str());
        wchar_t flags[32];
        FormatBounded(flags, CountOf(flags), L"%d%d%d%d", run.desktop, run.startMenu, run.programs, run.removal);
        bench::RunSpec spec;
        spec.program = program_ + L"\\Uninstall.exe";
        spec.arguments = L"--gtest_also_run_disabled_tests --gtest_filter=ShortcutsChild.DISABLED_Update";
        spec.environment = {{L"OMBRIX_SHORTCUTS_FLAGS", flags}, {L"OMBRIX_SHORTCUTS_ICON", icon_},
                            {L"OMBRIX_SHORTCUTS_RESULT", result}};
        bench::RunResult ran = bench::Run(spec);
        EXPECT_TRUE(ran.started);
        EXPECT_EQ(0u, ran.exitCode);
        EXPECT_TRUE(bench::PathExists(result)) << "the child did not run to its end";
        return bench::Narrow2Wide(bench::ReadFileBytes(result));
    }

    // The archiver's own shortcut: target, description, icon, and the working folder.
    void ExpectArchiverLink(const std::wstring& path, const std::wstring& workingDirectory, const std::wstring& icon) {
        Link link = ReadLink(path);
        ASSERT_TRUE(link.exists) << bench::Utf8(path);
        EXPECT_EQ(bench::Utf8(program_ + L"\\Ombrix.exe"), bench::Utf8(link.target)) << bench::Utf8(path);
        EXPECT_EQ(bench::Utf8(kDescription), bench::Utf8(link.description));
        EXPECT_EQ(bench::Utf8(icon), bench::Utf8(link.icon)) << bench::Utf8(path);
        EXPECT_EQ(0, link.iconIndex);
        EXPECT_EQ(bench::Utf8(workingDirectory), bench::Utf8(link.workingDirectory)) << bench::Utf8(path);
    }

    // A group holds exactly the entries whose targets exist; the other three keep their icons, and
    // the user's chosen icon is only ever in the user's own group.
    void ExpectGroup(const std::wstring& group, bool withKvaTxt) {
        SCOPED_TRACE(bench::Utf8(group));
        // The common group, which every user starts, works in no single user's folder.
        bool own = group == userGroup_;
        ExpectArchiverLink(group + L"\\Ombrix.lnk", own ? ShellFolder(CSIDL_DESKTOPDIRECTORY) : program_, own ? icon_ : L"");
        struct Entry {
            const wchar_t* name;
            const wchar_t* target;
            bool wanted;
        };
        const Entry entries[] = {
            {L"Ombrix help.lnk", L"Ombrix.chm", true},
            {L"Ombrix help file.lnk", L"Kva.txt", withKvaTxt},
            {L"What is new in the latest version.lnk", L"What is new", true},
        };
        for (const Entry& entry : entries) {
            Link link = ReadLink(group + L"\\" + entry.name);
            EXPECT_EQ(entry.wanted, link.exists) << bench::Utf8(entry.name);
            if (!entry.wanted || !link.exists) continue;
            EXPECT_EQ(bench::Utf8(program_ + L"\\" + entry.target), bench::Utf8(link.target));
            EXPECT_EQ(bench::Utf8(kDescription), bench::Utf8(link.description));
            EXPECT_EQ("", bench::Utf8(link.icon)) << bench::Utf8(entry.name);
        }
    }

    UserDesktop desktop_;
    std::wstring scratch_, program_, icon_;
    std::wstring userDesktop_, commonDesktop_, startMenu_, userGroup_, commonGroup_;
};

}  // namespace

// Run by the tests below from the copy in the program folder.
TEST(ShortcutsChild, DISABLED_Update) {
    bench::ComScope com;
    wchar_t flags[8] = L"", icon[kPathChars] = L"", result[kPathChars] = L"";
    GetEnvironmentVariableW(L"OMBRIX_SHORTCUTS_FLAGS", flags, CountOf(flags));
    GetEnvironmentVariableW(L"OMBRIX_SHORTCUTS_ICON", icon, CountOf(icon));
    GetEnvironmentVariableW(L"OMBRIX_SHORTCUTS_RESULT", result, CountOf(result));
    ASSERT_EQ(4u, wcslen(flags));
    IntegrationOptions options = {};
    options.linkDesktop = flags[0] == L'1';
    options.linkStartMenu = flags[1] == L'1';
    options.linkPrograms = flags[2] == L'1';
    wchar_t folder[kPathChars] = L"";
    if (flags[3] == L'1') {
        UpdateShortcuts(options, nullptr, 0, nullptr);
    } else {
        UpdateShortcuts(options, folder, CountOf(folder), icon);
    }
    char text[kPathChars * 3] = "";
    AnsiFromWide(folder, text, CountOf(text));
    bench::WriteFileBytes(result, text);
}

TEST_F(Shortcuts, CreatedWhereWantedAndRemovedAgain) {
    bench::ComScope com;

    // A fresh setup: the desktop shortcut goes to the common desktop; "Kva.txt" is missing.
    EXPECT_EQ(bench::Utf8(commonGroup_), bench::Utf8(Update({true, true, true, false})));
    ExpectArchiverLink(commonDesktop_, L"", L"");
    EXPECT_FALSE(bench::PathExists(userDesktop_));
    ExpectArchiverLink(startMenu_, program_, L"");
    ExpectGroup(userGroup_, false);
    ExpectGroup(commonGroup_, false);

    // A shortcut on the user's desktop is kept up to date there; no common one is made. A group
    // with an old shortcut and a subfolder: the shortcut goes, the subfolder stays.
    ASSERT_TRUE(DeleteFileW(commonDesktop_.c_str()));
    ASSERT_TRUE(bench::WriteFileBytes(userDesktop_, ""));
    ASSERT_TRUE(bench::WriteFileBytes(program_ + L"\\Kva.txt", "readme"));
    for (const std::wstring& group : {userGroup_, commonGroup_}) {
        ASSERT_TRUE(bench::WriteFileBytes(group + L"\\Old.lnk", "old"));
        ASSERT_TRUE(CreateDirectoryW((group + L"\\Keep").c_str(), nullptr));
        ASSERT_TRUE(bench::WriteFileBytes(group + L"\\Keep\\note.txt", "keep"));
    }
    Update({true, true, true, false});
    ExpectArchiverLink(userDesktop_, L"", icon_);
    EXPECT_FALSE(bench::PathExists(commonDesktop_));
    for (const std::wstring& group : {userGroup_, commonGroup_}) {
        ExpectGroup(group, true);
        EXPECT_FALSE(bench::PathExists(group + L"\\Old.lnk"));
        EXPECT_EQ("keep", bench::ReadFileBytes(group + L"\\Keep\\note.txt"));
    }

    // Without the desktop link the archiver's shortcuts go from both desktops; without the
    // Start-menu link that one goes; the groups stay.
    ASSERT_TRUE(CopyFileW(userDesktop_.c_str(), commonDesktop_.c_str(), FALSE));
    EXPECT_EQ(bench::Utf8(commonGroup_), bench::Utf8(Update({false, false, true, false})));
    EXPECT_FALSE(bench::PathExists(userDesktop_));
    EXPECT_FALSE(bench::PathExists(commonDesktop_));
    EXPECT_FALSE(bench::PathExists(startMenu_));
    ExpectGroup(userGroup_, true);
    ExpectGroup(commonGroup_, true);
    // An icon on a network share is never named: Explorer would contact that host.
    icon_ = L"\\\\server\\share\\theme.ico";
    Update({false, false, true, false});
    EXPECT_EQ("", bench::Utf8(ReadLink(userGroup_ + L"\\Ombrix.lnk").icon));

    // The removal: desktop, Start menu and both groups with everything in them; nothing handed back.
    EXPECT_EQ("", bench::Utf8(Update({false, false, false, true})));
    for (const std::wstring& path : {userDesktop_, commonDesktop_, startMenu_, userGroup_, commonGroup_}) {
        EXPECT_FALSE(bench::PathExists(path)) << bench::Utf8(path);
    }
}
