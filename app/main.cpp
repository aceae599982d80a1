// Entry point: prepares the process, reads the switches and runs setup or uninstall mode.
#include "app/app.h"

#include "resources/resource.h"
#include "settings/settings.h"
#include "setup/setup.h"
#include "uninstall/uninstall.h"

#include <ole2.h>
#include <shellapi.h>

// Takes the current directory out of the DLL search order where the system can.
static void HardenDllSearchOrder() {
    HMODULE kernel = GetModuleHandleW(L"kernel32");
    if (kernel == nullptr) return;
    typedef BOOL(WINAPI * SetDllDirectoryFn)(LPCWSTR);
    auto setDllDirectory =
        reinterpret_cast<SetDllDirectoryFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryW")));
    if (setDllDirectory != nullptr) setDllDirectory(L"");
}

static void LoadProgramIcon() {
    g_shell.programIcon = LoadIconW(ResourceModule(), L"KVAICON");
    if (g_shell.programIcon == nullptr && ProgramModule() != ResourceModule()) {
        g_shell.programIcon = LoadIconW(ProgramModule(), L"KVAICON");
    }
}

static void ActOnCommandLine() {
    ParseInstallerLine();
    ActOnSwitches(GetCommandLineW(), false);
}

// The setup dialog could not be created (its template or the rich-edit class is missing):
// that is no confirmation.
static void ReportSetupDialogFailure() {
    g_shell.exitCode = kExitFailed;
    if (g_run.silent) return;
    DWORD error = GetLastError();
    wchar_t text[kTextChars];
    if (FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                       (DWORD)CountOf(text), nullptr) == 0) {
        FormatBounded(text, CountOf(text), L"Error %lu", (unsigned long)error);
    }
    ShowMessageBox(nullptr, text, GetMessageText(IDS_UNINSTTITLE), MB_ICONERROR);
}

static void RunSetupMode() {
    INT_PTR result = DialogBoxParamW(ResourceModule(), L"SETUPDLG", nullptr, SetupDialogProc, 0);
    if (result == -1) {
        ReportSetupDialogFailure();
        return;
    }
    if (result == 0) return;
    CarryOverSettingsFile();
    if (!g_run.msi) {
        DialogBoxParamW(ResourceModule(), L"DONEDLG", nullptr, DoneDialogProc, 0);
        if (IsWow64() && !g_run.silent) {
            ShowMessageBox(nullptr, GetMessageText(IDS_WARN32BIT), GetMessageText(IDS_UNINSTTITLE),
                           MB_ICONINFORMATION);
        }
    }
    if (g_shell.openAfterSetup[0] != 0 && !g_run.silent && !g_run.msi && !g_run.noExplorer &&
        PathExists(g_shell.openAfterSetup)) {
        // The window starts in the group folder: inheriting ours would hold the program folder
        // open, and the uninstall could not remove it while the window stays.
        ShellExecuteW(nullptr, L"open", g_shell.openAfterSetup, nullptr, g_shell.openAfterSetup, SW_SHOWNORMAL);
    }
}

void CarryOverSettingsFile() {
    // Nothing is carried over where the user's settings folder, the configured one included, holds
    // a settings file already.
    wchar_t settingsPath[kPathChars];
    SettingsFolder(ConfiguredFolder::Asked, settingsPath, CountOf(settingsPath));
    JoinPath(settingsPath, L"ombrix.ini", settingsPath, CountOf(settingsPath));
    if (PathExists(settingsPath)) return;

    wchar_t installer[kPathChars];
    DWORD n = GetEnvironmentVariableW(L"sfxname", installer, CountOf(installer));
    if (n == 0 || n >= CountOf(installer)) return;
    ReplaceNamePart(installer, L"ombrix.ini", CountOf(installer));
    // The bare name resolves against the current directory: the folder the installer
    // started us in. An existing file there is never overwritten.
    if (!PathExists(installer) || !CopyFileW(installer, L"ombrix.ini", TRUE)) return;
    wchar_t copy[kPathChars];
    if (GetFullPathNameW(L"ombrix.ini", CountOf(copy), copy, nullptr) < CountOf(copy))
        LogEvent(L"file: copied the installer's settings file %ls to %ls", installer, copy);
}

// The log's first line: what runs, how, and on what.
static void StartLog() {
    // An elevated run keeps out of the folders the user's environment names.
    bool elevated = IsElevatedRun();
    wchar_t folder[kPathChars];
    bool known;
    if (elevated) {
        known = SystemTempFolder(folder, CountOf(folder));
    } else {
        DWORD got = GetTempPathW(CountOf(folder), folder);
        known = got != 0 && got < CountOf(folder);
    }
    if (known) AddTrailingBackslash(folder, CountOf(folder));
    if (!OpenRunLog(g_run.logPath, known ? folder : nullptr, g_run.setupMode ? L"Ombrix Setup" : L"Ombrix Uninstall")) return;
    wchar_t version[32], program[kPathChars], settings[kPathChars];
    FormatVersion(version, CountOf(version));
    ProgramFolder(program, CountOf(program));
    if (!SettingsFileToUse(settings, CountOf(settings))) CopyString(settings, L"the registry", CountOf(settings));
    uint32_t windows = GetWindowsVersion();
    LogEvent(L"start: Uninstall.exe %ls, command line %ls", version, GetCommandLineW());
    LogEvent(L"start: %ls%ls, %ls, %ls, Windows %u.%u, program folder %ls, settings from %ls",
             g_run.setupMode ? L"setup" : L"uninstall", g_run.silent ? L" (silent)" : L"",
             elevated ? L"elevated" : L"not elevated", IsWow64() ? L"32-bit under WOW64" : L"native",
             windows >> 8, windows & 0xFF, program, settings);
}

static const wchar_t* ExitReason(int32_t code) {
    if (code == 0) return L"finished";
    if (code == kExitCancelled) return L"setup cancelled";
    if (code == kExitFailed) return L"the run could not do its job";
    return code == (int32_t)g_run.restartExitCode ? L"finished, a restart is needed" : L"fatal error";
}

static void Shutdown() {
    if (g_shell.richEdit != nullptr) FreeLibrary(g_shell.richEdit);
    OleUninitialize();
    if (g_shell.boldFont != nullptr) DeleteObject(g_shell.boldFont);
    // What the run changed in the settings file is written back once, at the very end.
    wchar_t settings[kPathChars];
    if (SaveSettingsFile() && SettingsFileToUse(settings, CountOf(settings))) LogFile(L"wrote settings file", settings, true);
    ClearSettingsFile();
    ReleaseLanguageLibrary();
    CloseRunLog();
}

static void Run(HINSTANCE instance) {
    HardenDllSearchOrder();
    LoadLanguageLibrary(instance);
    LoadLanguageFile(L"uninstall.lng");
    OleInitialize(nullptr);
    g_shell.richEdit = LoadSystemLibrary(L"riched20.dll");
    LoadProgramIcon();
    g_shell.boldFont = CreateFontW(ScaleByDpi(-12), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, 0, 0, 0, 0,
                                   L"MS Shell Dlg");
    ActOnCommandLine();
    if (g_run.log && (g_run.setupMode || g_run.uninstallMode)) StartLog();

    if (g_run.setupMode) {
        RunSetupMode();
    } else if (g_run.uninstallMode) {
        RunUninstall();
    }
    LogEvent(L"exit code %ld: %ls", (long)g_shell.exitCode, ExitReason(g_shell.exitCode));

    Shutdown();
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    return RunToExitCode([instance] { Run(instance); });
}
