// Help: the target opened for a topic, the help control from the system folder, and F1 and
// the Help button through the dialog prelude when no help file is installed.
#include "language/language.h"
#include "tests/bench/bench.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring HelpFile() { return bench::TestsFolder() + L"\\ombrix.chm"; }

std::wstring Target(const wchar_t* topic) {
    wchar_t target[kPathChars + 50];
    HelpTarget(topic, target, CountOf(target));
    return target;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM count) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window)) ++*reinterpret_cast<int*>(count);
    return TRUE;
}

int VisibleWindows() {
    int count = 0;
    EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

INT_PTR CALLBACK PlainDialog(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

}  // namespace

TEST(Help, F1AndHelpButtonThroughTheDialogPrelude) {
    HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), L"DONEDLG", nullptr, PlainDialog, 0);
    ASSERT_NE(nullptr, dialog);
    HELPINFO info = {};
    info.cbSize = sizeof(info);
    info.iContextType = HELPINFO_WINDOW;
    int windows = VisibleWindows();

    // Without a topic F1 is taken and nothing opens.
    bool controlBefore = GetModuleHandleW(L"hhctrl.ocx") != nullptr;
    EXPECT_TRUE(DialogPrelude(dialog, WM_HELP, 0, reinterpret_cast<LPARAM>(&info), L"DONEDLG", nullptr));
    if (!controlBefore) {
        EXPECT_EQ(nullptr, GetModuleHandleW(L"hhctrl.ocx"));
    }

    // With a topic F1 asks for help, which finds no help file.
    EXPECT_TRUE(DialogPrelude(dialog, WM_HELP, 0, reinterpret_cast<LPARAM>(&info), L"SETUPDLG",
                              L"HELPIntegrationSettings"));
    EXPECT_NE(nullptr, GetModuleHandleW(L"hhctrl.ocx"));
    // The Help button asks too, but leaves the command to the dialog.
    EXPECT_FALSE(DialogPrelude(dialog, WM_COMMAND, MAKEWPARAM(IDHELP, BN_CLICKED), 0, L"SETUPDLG",
                               L"HELPIntegrationSettings"));
    EXPECT_FALSE(DialogPrelude(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0, L"SETUPDLG",
                               L"HELPIntegrationSettings"));
    EXPECT_FALSE(DialogPrelude(dialog, WM_PAINT, 0, 0, L"SETUPDLG", L"HELPIntegrationSettings"));
    EXPECT_EQ(windows, VisibleWindows());
    DestroyWindow(dialog);
}

TEST(Help, TargetIsTheTopicPageOfTheHelpFileBesideTheProgram) {
    ASSERT_FALSE(bench::PathExists(HelpFile()));
    EXPECT_EQ(HelpFile() + L"::/html/HELPContextItems.htm", Target(L"HELPContextItems"));
    EXPECT_EQ(HelpFile() + L"::/html/HELPIntegrationSettings.htm", Target(L"HELPIntegrationSettings"));
    EXPECT_EQ(HelpFile(), Target(nullptr));
    wchar_t small[6];
    HelpTarget(L"HELPContextItems", small, CountOf(small));
    EXPECT_EQ(HelpFile().substr(0, 5), std::wstring(small));
}

TEST(Help, MissingHelpFileOpensNothing) {
    int windows = VisibleWindows();
    EXPECT_EQ(nullptr, ShowHelp(nullptr, L"HELPContextItems"));
    EXPECT_EQ(nullptr, ShowHelp(nullptr, nullptr));
    EXPECT_EQ(windows, VisibleWindows());

    // The help control was taken from the system folder, never from the search path.
    HMODULE control = GetModuleHandleW(L"hhctrl.ocx");
    ASSERT_NE(nullptr, control);
    wchar_t loaded[kPathChars];
    wchar_t system[kPathChars];
    GetModuleFileNameW(control, loaded, CountOf(loaded));
    GetSystemDirectoryW(system, CountOf(system));
    EXPECT_EQ(0, CompareNoCase(std::wstring(system).append(L"\\hhctrl.ocx").c_str(), loaded)) << loaded;
}
