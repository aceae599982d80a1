// Integration removal: takes back what setup registered, then the product's own keys. The
// extensions go back first, while the records of what they looked like before still stand.
#include "uninstall/uninstall.h"

#include <shlobj.h>

void RemoveIntegration() {
    const IntegrationOptions cleared = {};
    BindAllExtensions(cleared);
    // ".rev" may have been another program's before setup bound it; given back before the
    // product key, which holds what it looked like, goes below.
    GiveBackRecoveryExtension();
    // Explorer reloads the associations before the shell extension goes.
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
    RegisterShellIntegration(true, cleared);
    // The machine's product key with what is left in it (the extensions' records, given back
    // above): where its settings are served (Ombrix.ini, while it is in use), and the registry key,
    // which never goes to the file.
    DeleteSettingTree(HKEY_LOCAL_MACHINE, L"");
    DeleteSettingTree(HKEY_LOCAL_MACHINE, L"\\Software\\Ombrix");
    UpdateShortcuts(cleared, nullptr, 0, nullptr);

    // The archiver's file classes, then the user's settings (from Ombrix.ini when it is in use).
    static const wchar_t* const kClassKeys[] = {L"Ombrix", L"Ombrix.ZIP", L"Ombrix.REV"};
    for (const wchar_t* key : kClassKeys) DeleteSettingTree(HKEY_CLASSES_ROOT, key);
    DeleteSettingTree(HKEY_CURRENT_USER, L"");

    // The application path, which setup writes in both registry views. The uninstall entry goes
    // last of all, so that an uninstall cut short can still be started again from the list.
    RemoveAppPaths();
}
