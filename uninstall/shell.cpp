// Shell state shared by the modes, the one message box helper and DPI scaling.
#include "uninstall/shell.h"

#include "language/language.h"
#include "settings/settings.h"

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

void CarryOverSettingsFile() {
    wchar_t settingsPath[kPathChars];
    SettingsFolder(settingsPath, CountOf(settingsPath));
    JoinPath(settingsPath, L"ombrix.ini", settingsPath, CountOf(settingsPath));
    if (FileExists(settingsPath)) return;

    wchar_t installer[kPathChars];
    DWORD n = GetEnvironmentVariableW(L"sfxname", installer, CountOf(installer));
    if (n == 0 || n >= CountOf(installer)) return;
    ReplaceNamePart(installer, L"ombrix.ini", CountOf(installer));
    // The bare name resolves against the current directory: the folder the installer
    // started us in. An existing file there is never overwritten.
    if (FileExists(installer)) CopyFileW(installer, L"ombrix.ini", TRUE);
}
