// What OK in the setup dialog does: save the choices, then register everything they ask for.
#include "setup/setup.h"

bool ApplyIntegration(const IntegrationOptions& options, wchar_t* groupFolder, size_t groupCapacity) {
    // Without the right to write the system-wide entries nothing else is attempted.
    if (!RegisterAppPaths()) return false;
    RegisterShellIntegration(false, options);
    BindAllExtensions(options);
    if (!RegisterFileTypes()) return false;

    wchar_t icon[kPathChars];
    ReadUserString(L"Interface\\Themes", L"ShellExtIcon", L"", icon, CountOf(icon));
    // A path on a network share would make Explorer contact that host for the shortcut's icon;
    // it is not even looked at.
    bool haveIcon = icon[0] != 0 && IsLocalPath(icon) && PathExists(icon);
    UpdateShortcuts(options, groupFolder, groupCapacity, haveIcon ? icon : nullptr);
    return true;
}

void ConfirmSetup(const IntegrationOptions& options) {
    // An uninstall of this folder still at work would remove what is registered here.
    RunTurn turn(kProductName);
    SaveIntegrationOptions(options);
    // Read before the entry is overwritten: what a move leaves in the old folder's name is ours.
    NotePreviousInstallFolder();
    // First: a setup cut short anywhere after it leaves an entry from which the uninstall can run.
    if (!g_run.msi) WriteUninstallEntry();
    ApplyIntegration(options, g_shell.openAfterSetup, CountOf(g_shell.openAfterSetup));
    // An ".ace" binding left by an older version goes back to its previous handler.
    BindExtension(kRetiredRow.list, kRetiredRow, false, false);
}
