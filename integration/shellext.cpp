// Shell extension registration: the archiver's Explorer extensions, App Paths and the
// capabilities shown in the default-programs settings.
#include "integration/integration.h"

#include <shlobj.h>

namespace {

const wchar_t kAppPathsKey[] = L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Ombrix.exe";
const wchar_t kApprovedKey[] = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const wchar_t kRegisteredAppsKey[] = L"\\Software\\RegisteredApplications";
const wchar_t kClsid32[] = L"{6D2F31C4-9A1B-4E57-8C03-2B7E91A4D5F0}";
const wchar_t kClsid64[] = L"{6D2F31C4-5B1B-4E57-8C03-2B7E91A4D5F0}";

enum : size_t { kShellKeyChars = 1024 };

// Keys that setup had to create on the way to its own (an empty "Drive\shellex" on a fresh
// system), noted under the product key so that the removal takes back exactly those.
// They, and the capabilities Windows reads, always live in the registry, also while the
// settings file holds the archiver's own settings.
const wchar_t kCreatedKeys[] = L"\\Software\\Ombrix\\CreatedKeys";
const wchar_t kCapabilitiesKey[] = L"\\Software\\Ombrix\\Capabilities";
const wchar_t kFileAssociationsKey[] = L"\\Software\\Ombrix\\Capabilities\\FileAssociations";

void NoteIfMissing(HKEY root, const wchar_t* path) {
    if (!SettingKeyExists(root, path)) WriteSettingString(HKEY_LOCAL_MACHINE, kCreatedKeys, path, L"1");
}

void NoteMissingParents(const wchar_t* path) {
    wchar_t parent[kShellKeyChars];
    CopyString(parent, path, CountOf(parent));
    for (wchar_t* cut = wcsrchr(parent, L'\\'); cut != nullptr; cut = wcsrchr(parent, L'\\')) {
        *cut = 0;
        if (SettingKeyExists(HKEY_CLASSES_ROOT, parent)) break;
        WriteSettingString(HKEY_LOCAL_MACHINE, kCreatedKeys, parent, L"1");
    }
}

bool WasCreatedBySetup(const wchar_t* path) {
    wchar_t mark[2];
    ReadSettingString(HKEY_LOCAL_MACHINE, kCreatedKeys, path, L"", mark, CountOf(mark));
    return mark[0] == L'1';
}

// Handler keys under HKEY_CLASSES_ROOT; "%ls" takes the CLSID or the handler name, and a key
// without it holds the CLSID as its default value.
enum class Fill { Clsid, Handler, None };
struct HandlerKey {
    const wchar_t* format;
    Fill fill;
};

const HandlerKey kExplorerKeys[] = {
    {L"Ombrix\\shellex\\PropertySheetHandlers\\%ls", Fill::Clsid},
    {L"Ombrix.ZIP\\shellex\\PropertySheetHandlers\\%ls", Fill::Clsid},
    {L"exefile\\shellex\\PropertySheetHandlers\\%ls", Fill::Clsid},
    {L"Ombrix\\shellex\\DropHandler", Fill::None},
    {L"Ombrix.ZIP\\shellex\\DropHandler", Fill::None},
    {L"Folder\\shellex\\DragDropHandlers\\%ls", Fill::Handler},
    {L"Drive\\shellex\\DragDropHandlers\\%ls", Fill::Handler},
};

const HandlerKey kContextMenuKeys[] = {
    {L"Ombrix\\shellex\\ContextMenuHandlers\\%ls", Fill::Clsid},
    {L"Ombrix.ZIP\\shellex\\ContextMenuHandlers\\%ls", Fill::Clsid},
    {L"*\\shellex\\ContextMenuHandlers\\%ls", Fill::Handler},
    {L"Folder\\shellex\\ContextMenuHandlers\\%ls", Fill::Handler},
    {L"lnkfile\\shellex\\ContextMenuHandlers\\%ls", Fill::Handler},
};

// The key path of a handler key, and the default value it is given.
void ComposeHandlerKey(const HandlerKey& key, const wchar_t* clsid, const wchar_t* handlerName, wchar_t* out,
                       size_t capacity, const wchar_t** value) {
    switch (key.fill) {
    case Fill::Clsid:
        FormatBounded(out, capacity, key.format, clsid);
        *value = L"";
        break;
    case Fill::Handler:
        FormatBounded(out, capacity, key.format, handlerName);
        *value = clsid;
        break;
    case Fill::None:
        CopyString(out, key.format, capacity);
        *value = clsid;
        break;
    }
}

template <size_t N>
void WriteHandlerKeys(const HandlerKey (&keys)[N], const wchar_t* clsid, const wchar_t* handlerName) {
    for (const HandlerKey& key : keys) {
        wchar_t path[kShellKeyChars];
        const wchar_t* value = L"";
        ComposeHandlerKey(key, clsid, handlerName, path, CountOf(path), &value);
        NoteMissingParents(path);
        WriteSettingString(HKEY_CLASSES_ROOT, path, L"", value);
    }
}

template <size_t N>
void DeleteHandlerKeys(const HandlerKey (&keys)[N], const wchar_t* clsid, const wchar_t* handlerName) {
    for (const HandlerKey& key : keys) {
        wchar_t path[kShellKeyChars];
        const wchar_t* value = L"";
        ComposeHandlerKey(key, clsid, handlerName, path, CountOf(path), &value);
        DeleteSettingKey(HKEY_CLASSES_ROOT, path);
        // Parents that setup created go too, once nothing else lives in them.
        for (wchar_t* cut = wcsrchr(path, L'\\'); cut != nullptr; cut = wcsrchr(path, L'\\')) {
            *cut = 0;
            if (!WasCreatedBySetup(path)) break;
            DeleteSettingKeyIfEmpty(HKEY_CLASSES_ROOT, path);
        }
    }
}

void DeleteClassKeys(const wchar_t* clsid) {
    wchar_t server[kShellKeyChars], cls[kShellKeyChars];
    FormatBounded(server, CountOf(server), L"CLSID\\%ls\\InProcServer32", clsid);
    FormatBounded(cls, CountOf(cls), L"CLSID\\%ls", clsid);
    DeleteSettingKey(HKEY_CLASSES_ROOT, server);
    DeleteSettingKey(HKEY_CLASSES_ROOT, cls);
}

}  // namespace

void UseRegistryView(bool want64Bit) {
    if (!want64Bit) {
        SetRegistryView(0);
    } else if (IsWow64()) {
        SetRegistryView(KEY_WOW64_64KEY);
    }
}

bool RegisterAppPaths() {
    wchar_t program[kPathChars], folder[kPathChars];
    ArchiverPath(program, CountOf(program));
    CopyString(folder, program, CountOf(folder));
    CutNamePart(folder);
    if (WriteSettingString(HKEY_LOCAL_MACHINE, kAppPathsKey, L"", program) == ERROR_ACCESS_DENIED) return false;
    WriteSettingString(HKEY_LOCAL_MACHINE, L"", L"exe32", program);
    WriteSettingString(HKEY_LOCAL_MACHINE, kAppPathsKey, L"Path", folder);
    // Under WOW64 the 64-bit programs look in the 64-bit view.
    UseRegistryView(true);
    WriteSettingString(HKEY_LOCAL_MACHINE, kAppPathsKey, L"", program);
    WriteSettingString(HKEY_LOCAL_MACHINE, kAppPathsKey, L"Path", folder);
    UseRegistryView(false);
    return true;
}

void RemoveAppPaths() {
    // Setup wrote the entry in both views; one left in the 64-bit view would name a deleted program.
    DeleteSettingKey(HKEY_LOCAL_MACHINE, kAppPathsKey);
    UseRegistryView(true);
    if (IsWow64()) DeleteSettingKey(HKEY_LOCAL_MACHINE, kAppPathsKey);
    UseRegistryView(false);
    DeleteSettingValue(HKEY_LOCAL_MACHINE, L"", L"exe32");
}

void RegisterShellExtension(const IntegrationOptions& options, const wchar_t* dllName, const wchar_t* clsid,
                            const wchar_t* handlerName, bool is64Bit) {
    if (!options.shellExt) {
        DeleteClassKeys(clsid);
        UseRegistryView(is64Bit);
        DeleteClassKeys(clsid);
        UseRegistryView(false);
        DeleteHandlerKeys(kExplorerKeys, clsid, handlerName);
        DeleteSettingValue(HKEY_LOCAL_MACHINE, kApprovedKey, clsid);
        DeleteHandlerKeys(kContextMenuKeys, clsid, handlerName);
        return;
    }

    wchar_t dllPath[kPathChars];
    ProgramFolder(dllPath, CountOf(dllPath));
    JoinPath(dllPath, dllName, dllPath, CountOf(dllPath));
    // Without the library the class stays unregistered, but Explorer's handler keys still name it.
    if (PathExists(dllPath)) {
        wchar_t cls[kShellKeyChars], server[kShellKeyChars];
        FormatBounded(cls, CountOf(cls), L"CLSID\\%ls", clsid);
        FormatBounded(server, CountOf(server), L"CLSID\\%ls\\InProcServer32", clsid);
        UseRegistryView(is64Bit);
        WriteSettingString(HKEY_CLASSES_ROOT, cls, L"", L"Ombrix");
        WriteSettingString(HKEY_CLASSES_ROOT, server, L"", dllPath);
        WriteSettingString(HKEY_CLASSES_ROOT, server, L"ThreadingModel", L"Apartment");
        UseRegistryView(false);
    }
    WriteHandlerKeys(kExplorerKeys, clsid, handlerName);
    WriteSettingString(HKEY_LOCAL_MACHINE, kApprovedKey, clsid, L"Ombrix shell extension");
    // Windows 11 shows the extension through its own menu; the classic handlers only on request.
    if (!IsWindows11OrLater() || options.legacyMenu) {
        WriteHandlerKeys(kContextMenuKeys, clsid, handlerName);
    } else {
        DeleteHandlerKeys(kContextMenuKeys, clsid, handlerName);
    }
}

void RegisterShellIntegration(bool removing, const IntegrationOptions& options) {
    bool wow64 = IsWow64();
    RegisterShellExtension(options, L"kvaext.dll", kClsid32, wow64 ? L"Ombrix32" : L"Ombrix", false);
    if (wow64) RegisterShellExtension(options, L"kvaext64.dll", kClsid64, L"Ombrix", true);

    if (removing) {
        if (GetWindowsVersion() >= 0x0600) {
            DeleteSettingValue(HKEY_LOCAL_MACHINE, kRegisteredAppsKey, L"Ombrix");
            if (WasCreatedBySetup(kRegisteredAppsKey)) DeleteSettingKeyIfEmpty(HKEY_LOCAL_MACHINE, kRegisteredAppsKey);
        }
        // Its own under the product key: the capabilities, and the notes of the keys it had to
        // create, which the removals above have read for the last time.
        DeleteSettingTree(HKEY_LOCAL_MACHINE, kCapabilitiesKey);
        DeleteSettingTree(HKEY_LOCAL_MACHINE, kCreatedKeys);
    } else if (GetWindowsVersion() >= 0x0600) {
        NoteIfMissing(HKEY_LOCAL_MACHINE, kRegisteredAppsKey);
        WriteSettingString(HKEY_LOCAL_MACHINE, kRegisteredAppsKey, L"Ombrix", L"Software\\Ombrix\\Capabilities");
        WriteSettingString(HKEY_LOCAL_MACHINE, kCapabilitiesKey, L"ApplicationDescription", L"Ombrix");
        // Every archive type is offered, whatever the user chose to associate now.
        for (uint32_t row = 0; row < kExtensionRows; ++row) {
            const wchar_t* fileType = ExtensionTable[row].fileType;
            const wchar_t* rest = ExtensionTable[row].list;
            while (rest != nullptr && rest[0] != 0) {
                wchar_t extension[kExtensionChars] = L"";
                rest = NextExtension(rest, extension, CountOf(extension));
                if (extension[0] != 0) {
                    WriteSettingString(HKEY_LOCAL_MACHINE, kFileAssociationsKey, extension, fileType);
                }
            }
        }
    }
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}
