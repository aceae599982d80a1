// Process-wide state (run options, icon, font, exit code) and the helpers every mode shares.
#pragma once

#include "../language/language.h"

// The name the run's turn goes by, among every program's named objects.
inline constexpr wchar_t kProductName[] = L"Ombrix";

/* shell.cpp */
// The switches as read at start-up; read-only afterwards.
struct RunOptions {
    bool setupMode;
    bool uninstallMode;
    bool silent;
    bool msi;
    bool noExplorer;
    wchar_t initOptions[40];
    bool log;                      // /log: a log of every change, at logPath or a fresh name
    wchar_t logPath[kPathChars];
    uint32_t restartExitCode;      // /restartexitcode=<n>: the code of a run that needs a restart
};
extern RunOptions g_run;

// The process's exit codes besides 0, a finished run (a declined uninstall too): a cancelled
// setup, and a run that could not do its job. Deployment tools read them.
enum : int32_t { kExitCancelled = 1, kExitFailed = 2 };

struct ShellState {
    HICON programIcon;
    HFONT boldFont;
    HMODULE richEdit;
    wchar_t openAfterSetup[kPathChars];
    int32_t exitCode;
    int32_t screenDpi;
};
extern ShellState g_shell;

int ScaleByDpi(int pixels);
int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style);
// Tells the user to delete the program file by hand (/warning, and an uninstall that could not
// name the program in its batch file).
void ShowManualDeletionNotice();

