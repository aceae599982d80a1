// Uninstall driver: confirms, removes the integration, deletes what Uninstall.lst names and
// hands the program file and its folder to a hidden batch file.
#include "uninstall/uninstall.h"

#include "language/language.h"
#include "resources/resource.h"

#include <wchar.h>

void RunUninstall() {
    // The program folder, made the current directory.
    wchar_t programPath[kPathChars];
    wchar_t folder[kPathChars];
    if (!ProgramPath(programPath, CountOf(programPath)) || !ProgramFolderOf(programPath, folder, CountOf(folder))) {
        g_shell.exitCode = kExitFailed;
        return;
    }
    SetCurrentDirectoryW(folder);
    wchar_t programFolder[kPathChars];
    CopyString(programFolder, folder, CountOf(programFolder));
    AddTrailingBackslash(programFolder, CountOf(programFolder));

    // Declined: nothing is removed, and that is no failure.
    if (!g_run.silent &&
        ShowMessageBox(nullptr, GetMessageText(IDS_CONTINUEUNINSTALL), GetMessageText(IDS_UNINSTALLKVA),
                       MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) != IDYES) {
        return;
    }

    // Until the batch file's own wait takes over, no setup of this folder runs beside us.
    RunTurn turn(kProductName);

    // The list is opened by its full path: the current directory is not guaranteed to be the
    // program folder (setting it can fail), and a list elsewhere must never be obeyed.
    wchar_t listPath[kPathChars];
    ScopedStream list(JoinWhole(programFolder, kListName, listPath, CountOf(listPath)) ? OpenStream(listPath, L"rb")
                                                                                      : nullptr);
    if (list.Get() == nullptr) {
        wchar_t text[200];
        // A translator's text: only its one %s is filled in.
        FormatWithOneArg(text, CountOf(text), GetMessageText(IDS_CANNOTOPENLIST), kListName);
        ShowMessageBox(nullptr, text, GetMessageText(IDS_UNINSTALLKVA), MB_ICONERROR | MB_SETFOREGROUND);
        g_shell.exitCode = kExitFailed;
        return;
    }

    // Shown after the language library is gone.
    wchar_t rebootText[256];
    wchar_t titleText[256];
    CopyString(rebootText, GetMessageText(IDS_REBOOTREQUIRED), CountOf(rebootText));
    CopyString(titleText, GetMessageText(IDS_UNINSTALLKVA), CountOf(titleText));

    // Read while the user's settings, which may name it, are still there.
    wchar_t tempFolder[kPathChars];
    GetTempFolder(tempFolder, CountOf(tempFolder));

    // An old copy of a moved installation takes only its own files: the registrations, the
    // settings and the entry belong to the installation in the folder the entry names.
    bool ownInstallation = !IsAnotherInstallation();
    if (ownInstallation) RemoveIntegration();
    // The library file can then be deleted like any other.
    ReleaseLanguageLibrary();

    DeleteUnlistedFiles(programFolder);

    bool restartNeeded = false;
    RunDeletionPasses(programFolder, NamePart(programPath), list.Get(), &restartNeeded);
    list.Reset();

    // The browser engine's cache.
    wchar_t cache[kPathChars];
    if (JoinWhole(tempFolder, L"Ombrix.exe.WebView2", cache, CountOf(cache)) && PathExists(cache)) {
        DeleteFolderTree(cache);
    }

    // Files in use go at restart; an "Ombrix" folder is scheduled to follow them, also in a silent
    // run, which would otherwise leave the emptied folder behind for good. A caller that named an
    // exit code for this case (/restartexitcode) is told through it that a restart is needed.
    if (restartNeeded) {
        if (!g_run.silent) ShowMessageBox(nullptr, rebootText, titleText, MB_ICONINFORMATION | MB_SETFOREGROUND);
        if (CompareNoCase(NamePart(folder), L"Ombrix") == 0) ScheduleDeletion(folder);
        if (g_run.restartExitCode != 0) g_shell.exitCode = (int32_t)g_run.restartExitCode;
    }

    // The last registry change: until here the list of installed programs can start this again.
    if (ownInstallation) RemoveUninstallEntry();
    // The list goes after the entry: a run ended before this point is started again from the
    // entry, and it needs the list to run at all.
    RemoveFile(listPath);
    // The program file and the folder go after the exit.
    if (!StartRemovalBatch(programPath, folder)) g_shell.exitCode = kExitFailed;
}
