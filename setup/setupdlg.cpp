// The setup dialog "SETUPDLG". For now it only confirms or cancels; the options it shows and
// applies are not built yet.
#include "setup/setup.h"

#include "language/language.h"
#include "shell/shell.h"

INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (DialogPrelude(dialog, message, wParam, lParam, L"SETUPDLG", L"HELPIntegrationSettings")) return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        SetForegroundWindow(dialog);
        SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(g_shell.programIcon));
        if (g_run.silent) SendMessageW(dialog, WM_COMMAND, IDOK, 0);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            EndDialog(dialog, 1);
            break;
        case IDCANCEL:
            g_shell.exitCode = 1;
            EndDialog(dialog, 0);
            break;
        }
        return TRUE;
    }
    return FALSE;
}
