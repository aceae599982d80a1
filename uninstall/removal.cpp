// Integration removal: takes back what setup registered and the product's own keys.
#include "uninstall/uninstall.h"

#include "settings/settings.h"

void RemoveIntegration() {
    // The cleared options record, and with it the undo of the file associations, the shell
    // extension and the shortcuts, comes with those integration operations.

    // The archiver's file classes, then the user's settings (from Ombrix.ini when it is in use).
    static const wchar_t* const kClassKeys[] = {L"Ombrix", L"Ombrix.ZIP", L"Ombrix.REV", L".rev"};
    for (const wchar_t* key : kClassKeys) DeleteSettingTree(HKEY_CLASSES_ROOT, key);
    DeleteSettingTree(HKEY_CURRENT_USER, L"");

    // Single keys relative to the root: the uninstall entry and the application path.
    DeleteSettingKey(HKEY_LOCAL_MACHINE, L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ombrix archiver");
    DeleteSettingKey(HKEY_LOCAL_MACHINE, L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Ombrix.exe");
}
