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
    // Room for the longest path the system gives (a counted string of 32767 characters): however
    // long the path, the notice shows as much of it as its text holds.
    wchar_t programPath[32768];
    ProgramPath(programPath, CountOf(programPath));

    wchar_t text[512];
    FormatBounded(text, CountOf(text), L"%ls\n", GetMessageText(IDS_UNINSTALLCOMPLETED));
    size_t used = wcslen(text);
    // The second text comes from a translator: only its one %s is filled in.
    FormatWithOneArg(text + used, CountOf(text) - used, GetMessageText(IDS_UNINSTALLSHOULDDELETE), programPath);
    ShowMessageBox(nullptr, text, GetMessageText(IDS_UNINSTALLKVA), MB_ICONINFORMATION | MB_SETFOREGROUND);
}
