// Process-wide state shared by the modes, the one message box helper, DPI scaling and the
// manual-deletion notice.
#include "shell/shell.h"

#include "resources/resource.h"

RunOptions g_run;
ShellState g_shell;

int ScaleByDpi(int pixels) {
    if (g_shell.screenDpi == 0) {
        HDC screen = GetDC(nullptr);
        if (screen == nullptr) return 0;
        g_shell.screenDpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
    }
    return pixels * g_shell.screenDpi / 96;
}

int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style) {
    if (IsRightToLeft()) style |= MB_RTLREADING | MB_RIGHT;
    return MessageBoxW(owner, text, caption, style);
}

void ShowManualDeletionNotice() {
    wchar_t programPath[kPathChars];
    if (GetModuleFileNameW(nullptr, programPath, CountOf(programPath)) == 0) programPath[0] = 0;
    programPath[CountOf(programPath) - 1] = 0;

    wchar_t text[512];
    FormatBounded(text, CountOf(text), L"%ls\n", GetMessageText(IDS_UNINSTALLCOMPLETED));
    size_t used = wcslen(text);
    // The second text comes from a translator: only its one %s is filled in.
    FormatWithOneArg(text + used, CountOf(text) - used, GetMessageText(IDS_UNINSTALLSHOULDDELETE), programPath);
    ShowMessageBox(nullptr, text, GetMessageText(IDS_UNINSTALLKVA), MB_ICONINFORMATION | MB_SETFOREGROUND);
}
