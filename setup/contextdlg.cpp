// The context-menu items dialog "SETUPCONTEXTITEMS": the shell extension's individual commands,
// its Windows 11 top-level commands and the "always an archive" masks, stored at its OK.
#include "setup/setup.h"

#include "resources/resource.h"

namespace {

struct MenuItemRow {
    const wchar_t* value;
    int control;
    int32_t defaultValue;
    bool hiddenInTopLevelMode;
};

const MenuItemRow MenuItemTable[] = {
    {L"ExtrTo", IDC_CONTEXTEXTRACTTO, 1, true},      {L"ExtrHere", IDC_CONTEXTEXTRACTHERE, 1, true},
    {L"Extr", IDC_CONTEXTEXTRACT, 1, true},          {L"ExtrSep", IDC_CONTEXTEXTRACTSEPARATE, 1, true},
    {L"OpenSFX", IDC_CONTEXTOPENSFX, 1, true},       {L"OpenArc", IDC_CONTEXTOPENARC, 1, true},
    {L"AddTo", IDC_CONTEXTADD, 1, true},             {L"AddArc", IDC_CONTEXTADDARC, 1, true},
    {L"EmailArc", IDC_CONTEXTEMAILARC, 1, true},     {L"EmailOpt", IDC_CONTEXTEMAILARCOPT, 1, true},
    {L"Test", IDC_CONTEXTTEST, 0, true},             {L"Convert", IDC_CONTEXTCONVERT, 0, true},
    {L"NewKVA", IDC_CONTEXTNEWKVA, 1, false},        {L"NewZIP", IDC_CONTEXTNEWZIP, 1, false},
    {L"SFXLocal", IDC_CONTEXTSFXLOCAL, 1, false},    {L"SFXNetwork", IDC_CONTEXTSFXNETWORK, 1, false},
    {L"SFXOther", IDC_CONTEXTSFXOTHER, 1, false},    {L"DragAdd", IDC_CONTEXTDRAGADD, 1, false},
    {L"DragExtr", IDC_CONTEXTDRAGEXTRACT, 1, false},
};

struct TopMenuItemRow {
    const wchar_t* value;
    int control;
    int32_t defaultValue;
    int group;
};

const TopMenuItemRow TopMenuItemTable[] = {
    {L"Extr", IDC_CONTEXTTOPEXTRACT, 1, 0},   {L"ExtrTo", IDC_CONTEXTTOPEXTRACTTO, 0, 0},
    {L"ExtrHere", IDC_CONTEXTTOPEXTRACTHERE, 0, 0}, {L"ExtrSep", IDC_CONTEXTTOPEXTRACTSEPARATE, 1, 1},
    {L"AddArc", IDC_CONTEXTTOPADDARC, 1, 2},  {L"AddTo", IDC_CONTEXTTOPADD, 0, 2},
};

const wchar_t kMenuItems[] = L"Setup\\MenuItems";
const wchar_t kTopMenuItems[] = L"Setup\\TopMenuItems";
enum : size_t { kMaskChars = 1024 };

// Top-level mode lives with the dialog, from WM_INITDIALOG to its end.
bool IsTopLevelMode(HWND dialog) { return GetWindowLongPtrW(dialog, DWLP_USER) != 0; }

void LoadTopItems(HWND dialog) {
    int checkedGroup = -1;
    for (const TopMenuItemRow& row : TopMenuItemTable) {
        // Only the first item found on in a group is shown checked.
        if (row.group == checkedGroup) continue;
        if (ReadUserInt(kTopMenuItems, row.value, row.defaultValue) != 0) {
            CheckDlgButton(dialog, row.control, BST_CHECKED);
            checkedGroup = row.group;
        }
    }
}

void OnInitDialog(HWND dialog, LPARAM cascaded) {
    bool topLevel = cascaded == 0 && IsWindows11OrLater();
    SetWindowLongPtrW(dialog, DWLP_USER, topLevel ? 1 : 0);
    if (topLevel) {
        for (const MenuItemRow& row : MenuItemTable) {
            if (row.hiddenInTopLevelMode) ShowWindow(GetDlgItem(dialog, row.control), SW_HIDE);
        }
        LoadTopItems(dialog);
    } else {
        for (const TopMenuItemRow& row : TopMenuItemTable) ShowWindow(GetDlgItem(dialog, row.control), SW_HIDE);
    }
    for (const MenuItemRow& row : MenuItemTable) {
        CheckDlgButton(dialog, row.control, ReadUserInt(kMenuItems, row.value, row.defaultValue) != 0 ? BST_CHECKED
                                                                                                   : BST_UNCHECKED);
    }
    wchar_t masks[kMaskChars];
    ReadUserString(kMenuItems, L"AlwaysArc", L"*.iso", masks, CountOf(masks));
    SetDlgItemTextW(dialog, IDC_CONTEXTALWAYSARC, masks);
    if (IsRightToLeft()) {
        // File masks read left to right in any language.
        HWND edit = GetDlgItem(dialog, IDC_CONTEXTALWAYSARC);
        SetWindowLongPtrW(edit, GWL_EXSTYLE, GetWindowLongPtrW(edit, GWL_EXSTYLE) & ~(LONG_PTR)WS_EX_RTLREADING);
    }
}

void OnOk(HWND dialog) {
    for (const MenuItemRow& row : MenuItemTable) {
        WriteUserInt(kMenuItems, row.value, IsDlgButtonChecked(dialog, row.control) == BST_CHECKED ? 1 : 0);
    }
    if (IsTopLevelMode(dialog)) {
        for (const TopMenuItemRow& row : TopMenuItemTable) {
            WriteUserInt(kTopMenuItems, row.value, IsDlgButtonChecked(dialog, row.control) == BST_CHECKED ? 1 : 0);
        }
    }
    wchar_t masks[kMaskChars];
    GetDlgItemTextW(dialog, IDC_CONTEXTALWAYSARC, masks, (int)CountOf(masks));
    WriteUserString(kMenuItems, L"AlwaysArc", masks);
    SaveSettingsFile();
    EndDialog(dialog, 1);
}

}  // namespace

INT_PTR CALLBACK ContextItemsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (DialogPrelude(dialog, message, wParam, lParam, L"SETUPCONTEXTITEMS", L"HELPContextItems") ||
        message == WM_HELP)
        return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog, lParam);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            OnOk(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 0);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}
