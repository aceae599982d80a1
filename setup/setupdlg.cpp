// The setup dialog "SETUPDLG": the integration choices as check boxes; OK saves and applies them.
#include "setup/setup.h"

#include "resources/resource.h"

#include <richedit.h>

namespace {

// The shortcut and shell boxes, in the order of their flags.
bool* FlagOf(IntegrationOptions* options, int control) {
    switch (control) {
    case IDC_LINKDESKTOP: return &options->linkDesktop;
    case IDC_LINKSTARTMENU: return &options->linkStartMenu;
    case IDC_LINKPROGRAMS: return &options->linkPrograms;
    case IDC_SHELLEXT: return &options->shellExt;
    case IDC_SHELLCASCADED: return &options->cascadedMenu;
    case IDC_SHELLICONS: return &options->menuIcons;
    case IDC_SHELLLEGACYMENU: return &options->legacyMenu;
    }
    return nullptr;
}

const int kFlagControls[] = {IDC_LINKDESKTOP, IDC_LINKSTARTMENU, IDC_LINKPROGRAMS, IDC_SHELLEXT,
                             IDC_SHELLCASCADED, IDC_SHELLICONS, IDC_SHELLLEGACYMENU};

bool g_singleTopItemShown;

void SetHelpText(HWND dialog) {
    wchar_t text[4096];
    CopyString(text, L"   ", CountOf(text));
    for (uint32_t id = IDS_INSTHELP1; id <= IDS_INSTHELP5; ++id) {
        AppendString(text, L" ", CountOf(text));
        AppendString(text, GetMessageText(id), CountOf(text));
    }
    AppendString(text, L"\r\n    ", CountOf(text));
    AppendString(text, GetMessageText(IDS_INSTHELP6), CountOf(text));
    SetDlgItemTextW(dialog, IDC_INSTHELPTEXT, text);
}

void OnInitDialog(HWND dialog) {
    SetHelpText(dialog);
    IntegrationOptions options = {};
    LoadIntegrationOptions(&options);
    ApplyInitOptions(g_run.initOptions, &options);
    ShowOptionsInDialog(dialog, options);
    SetForegroundWindow(dialog);
    SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(g_shell.programIcon));
    SendDlgItemMessageW(dialog, IDC_INSTHELPTEXT, EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_BTNFACE));
    if (g_run.silent) SendMessageW(dialog, WM_COMMAND, IDOK, 0);
}

void OnOk(HWND dialog) {
    IntegrationOptions options = {};
    ReadOptionsFromDialog(dialog, &options);
    ConfirmSetup(options);
    EndDialog(dialog, 1);
}

void OnCascadedMenu(HWND dialog) {
    if (g_singleTopItemShown || !IsWindows11OrLater()) return;
    if (IsDlgButtonChecked(dialog, IDC_SHELLCASCADED) == BST_CHECKED) return;
    ShowMessageBox(dialog, GetMessageText(IDS_SINGLETOPITEM), GetMessageText(IDS_UNINSTTITLE), MB_ICONINFORMATION);
    g_singleTopItemShown = true;
}

void OnCommand(HWND dialog, int id) {
    switch (id) {
    case IDOK:
        OnOk(dialog);
        break;
    case IDCANCEL:
        g_shell.exitCode = kExitCancelled;
        EndDialog(dialog, 0);
        break;
    case IDC_SHELLEXT: {
        IntegrationOptions options = {};
        ReadOptionsFromDialog(dialog, &options);
        ShowOptionsInDialog(dialog, options);
        break;
    }
    case IDC_SHELLCASCADED:
        OnCascadedMenu(dialog);
        break;
    case IDC_ASSOCALL:
        ToggleAllAssociations(dialog);
        break;
    case IDC_SETCONTEXTMENU:
        DialogBoxParamW(ResourceModule(), L"SETUPCONTEXTITEMS", dialog, ContextItemsDialogProc,
                        IsDlgButtonChecked(dialog, IDC_SHELLCASCADED) == BST_CHECKED ? 1 : 0);
        break;
    }
}

}  // namespace

void ShowOptionsInDialog(HWND dialog, const IntegrationOptions& options) {
    for (uint32_t row = 0; row < kExtensionRows; ++row) {
        CheckDlgButton(dialog, ExtensionTable[row].control, options.associate[row] ? BST_CHECKED : BST_UNCHECKED);
    }
    IntegrationOptions copy = options;
    for (int control : kFlagControls) {
        CheckDlgButton(dialog, control, *FlagOf(&copy, control) ? BST_CHECKED : BST_UNCHECKED);
    }
    EnableWindow(GetDlgItem(dialog, IDC_SHELLCASCADED), options.shellExt);
    EnableWindow(GetDlgItem(dialog, IDC_SHELLICONS), options.shellExt);
    EnableWindow(GetDlgItem(dialog, IDC_SHELLLEGACYMENU), options.shellExt && IsWindows11OrLater());
}

void ReadOptionsFromDialog(HWND dialog, IntegrationOptions* options) {
    for (uint32_t row = 0; row < kExtensionRows; ++row) {
        options->associate[row] = IsDlgButtonChecked(dialog, ExtensionTable[row].control) == BST_CHECKED;
    }
    for (int control : kFlagControls) {
        *FlagOf(options, control) = IsDlgButtonChecked(dialog, control) == BST_CHECKED;
    }
}

void ToggleAllAssociations(HWND dialog) {
    bool anyUnchecked = false;
    for (int id = IDC_ASSOCKVA; id <= IDC_ASSOC001; ++id) {
        HWND box = GetDlgItem(dialog, id);
        if (box != nullptr && IsDlgButtonChecked(dialog, id) != BST_CHECKED) anyUnchecked = true;
    }
    for (int id = IDC_ASSOCKVA; id <= IDC_ASSOC001; ++id) {
        CheckDlgButton(dialog, id, anyUnchecked ? BST_CHECKED : BST_UNCHECKED);
    }
}

INT_PTR HandleDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, const DialogHandlers& handlers) {
    if (DialogPrelude(dialog, message, wParam, lParam, handlers.name, handlers.helpTopic)) return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        handlers.onInit(dialog);
        return TRUE;
    case WM_COMMAND:
        handlers.onCommand(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    static const DialogHandlers handlers = {L"SETUPDLG", L"HELPIntegrationSettings", OnInitDialog, OnCommand};
    return HandleDialogMessage(dialog, message, wParam, lParam, handlers);
}
