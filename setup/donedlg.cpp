// The completion dialog "DONEDLG": where the archiver was installed, and links to help,
// licence and home page.
#include "setup/setup.h"

#include "language/language.h"
#include "resources/resource.h"
#include "shell/shell.h"

#include <shellapi.h>

static void OnInitDialog(HWND dialog) {
    SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(g_shell.programIcon));
    SendDlgItemMessageW(dialog, IDC_THANKS, WM_SETFONT, reinterpret_cast<WPARAM>(g_shell.boldFont), FALSE);
    wchar_t folder[kPathChars];
    if (GetCurrentDirectoryW(CountOf(folder), folder) == 0) folder[0] = 0;
    folder[CountOf(folder) - 1] = 0;
    SetDlgItemTextW(dialog, IDC_INSTFOLDERPATH, folder);
    if (g_run.silent) SendMessageW(dialog, WM_COMMAND, IDOK, 0);
}

static void OpenLicense() {
    wchar_t path[kPathChars];
    if (GetCurrentDirectoryW(CountOf(path), path) == 0) path[0] = 0;
    path[CountOf(path) - 1] = 0;
    AddTrailingBackslash(path, CountOf(path));
    AppendString(path, L"license.txt", CountOf(path));
    ResolveInLanguageFolder(path, path, CountOf(path));
    ShellExecuteW(nullptr, L"open", path, nullptr, L"", SW_SHOWNORMAL);
}

static bool IsWebAddress(const wchar_t* text) {
    return _wcsnicmp(text, L"http://", 7) == 0 || _wcsnicmp(text, L"https://", 8) == 0;
}

// The address comes from a translator: anything but a web address would start a program, so
// such a text (or none) opens nothing.
static void OpenHomePage() {
    const wchar_t* address = GetMessageText(IDS_HOMEURL);
    if (IsWebAddress(address)) ShellExecuteW(nullptr, L"open", address, nullptr, L"", SW_SHOWNORMAL);
}

static void OnCommand(HWND dialog, int id) {
    switch (id) {
    case IDOK:
    case IDCANCEL:
        EndDialog(dialog, 1);
        break;
    case IDC_VIEWHELP:
        ShowHelp(dialog, nullptr);
        break;
    case IDC_VIEWLICENSE:
        OpenLicense();
        break;
    case IDC_HOMEPAGE:
        OpenHomePage();
        break;
    }
}

INT_PTR CALLBACK DoneDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    static const DialogHandlers handlers = {L"DONEDLG", nullptr, OnInitDialog, OnCommand};
    return HandleDialogMessage(dialog, message, wParam, lParam, handlers);
}
