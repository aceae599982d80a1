// The integration options: the archive-type table, the per-user Setup values and /init.
#include "integration/integration.h"

#include "resources/resource.h"

#include <wchar.h>

const ExtensionRow ExtensionTable[kExtensionRows] = {
    {L".kva", IDC_ASSOCKVA, L"Ombrix", RowKind::Kva},
    {L".zip", IDC_ASSOCZIP, L"Ombrix.ZIP", RowKind::Zip},
    {L".cab", IDC_ASSOCCAB, L"Ombrix", RowKind::Plain},
    {L".arj", IDC_ASSOCARJ, L"Ombrix", RowKind::Plain},
    {L".lz.tlz", IDC_ASSOCLZ, L"Ombrix", RowKind::Plain},
    {L".lzh.lha", IDC_ASSOCLZH, L"Ombrix", RowKind::Plain},
    {L".7z", IDC_ASSOC7Z, L"Ombrix", RowKind::Plain},
    {L".tar", IDC_ASSOCTAR, L"Ombrix", RowKind::Plain},
    {L".gz.tgz", IDC_ASSOCGZ, L"Ombrix", RowKind::Plain},
    {L".uue.xxe.uu", IDC_ASSOCUUE, L"Ombrix", RowKind::Plain},
    {L".bz2.tbz2.bz.tbz", IDC_ASSOCBZ2, L"Ombrix", RowKind::Plain},
    {L".jar", IDC_ASSOCJAR, L"Ombrix", RowKind::Plain},
    {L".iso", IDC_ASSOCISO, L"Ombrix", RowKind::Plain},
    {L".z.taz", IDC_ASSOCZ, L"Ombrix", RowKind::Plain},
    {L".xz.txz", IDC_ASSOCXZ, L"Ombrix", RowKind::Plain},
    {L".zipx", IDC_ASSOCZIPX, L"Ombrix", RowKind::Plain},
    {L".zst.tzst", IDC_ASSOCZST, L"Ombrix", RowKind::Plain},
    {L".001", IDC_ASSOC001, L"Ombrix", RowKind::Plain},
};

const ExtensionRow kRetiredRow = {L".ace", 0, L"Ombrix", RowKind::Plain};

namespace {

const wchar_t kSetupKey[] = L"Setup";
const wchar_t kLinksKey[] = L"Setup\\Links";

// The row's settings key "Setup\<key extension>"; false when it does not fit.
bool RowKey(uint32_t row, wchar_t* out, size_t capacity) {
    wchar_t extension[kExtensionChars];
    if (NextExtension(ExtensionTable[row].list, extension, CountOf(extension)) == nullptr || extension[0] == 0)
        return false;
    return FormatBounded(out, capacity, L"Setup\\%ls", extension) >= 0;
}

bool ReadFlag(const wchar_t* keyPath, const wchar_t* valueName, int32_t defaultValue) {
    return ReadUserInt(keyPath, valueName, defaultValue) != 0;
}

// True for a value that names an owner: text that is not empty, or data of any other type.
bool HasNonEmptyValue(const StoredValue& value) {
    bool text = value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
    return text ? value.bytes >= sizeof(wchar_t) && reinterpret_cast<const wchar_t*>(value.data.Data())[0] != 0
                : value.bytes > 0;
}

// ".jar" and ".iso" are offered only while no other program opens them; ".jar" only while
// it already opens with the archiver.
void CheckForeignOwner(uint32_t row, IntegrationOptions* options) {
    wchar_t extension[kExtensionChars];
    if (NextExtension(ExtensionTable[row].list, extension, CountOf(extension)) == nullptr || extension[0] == 0)
        return;
    if (IsOwnFileType(extension)) return;
    // Read whole: a type too long for any buffer is still another program's.
    StoredValue owner;
    bool owned = ReadStoredValue(HKEY_CLASSES_ROOT, extension, L"", &owner) && HasNonEmptyValue(owner);
    if (owned || row == kJarRow) options->associate[row] = false;
}

}  // namespace

const wchar_t* NextExtension(const wchar_t* list, wchar_t* out, size_t capacity) {
    if (capacity == 0) return nullptr;
    out[0] = 0;
    if (list == nullptr || list[0] == 0) return nullptr;
    const wchar_t* next = wcschr(list + 1, L'.');
    size_t length = next != nullptr ? (size_t)(next - list) : wcslen(list);
    // A cut extension would name another key: one that does not fit comes back empty.
    if (length < capacity) {
        wmemcpy(out, list, length);
        out[length] = 0;
    }
    return next != nullptr ? next : list + length;
}

void LoadIntegrationOptions(IntegrationOptions* options) {
    *options = IntegrationOptions();
    for (uint32_t row = 0; row < kExtensionRows; row++) {
        wchar_t key[80];
        options->associate[row] = RowKey(row, key, CountOf(key)) && ReadFlag(key, L"Set", 1);
    }
    CheckForeignOwner(kJarRow, options);
    CheckForeignOwner(kIsoRow, options);

    options->linkDesktop = ReadFlag(kLinksKey, L"Desktop", 0);
    options->linkStartMenu = ReadFlag(kLinksKey, L"StartMenu", 0);
    options->linkPrograms = ReadFlag(kLinksKey, L"Programs", 1);
    options->shellExt = ReadFlag(kSetupKey, L"ShellExt", 1);
    bool windows11 = IsWindows11OrLater();
    options->cascadedMenu = ReadFlag(kSetupKey, L"CascadedMenu", windows11 ? 1 : 0);
    options->menuIcons = ReadFlag(kSetupKey, L"MenuIcons", 1);
    options->legacyMenu = ReadFlag(kSetupKey, L"LegacyMenu", 0);
    // Windows 11's own menu shows the archiver's commands only in a submenu.
    if (windows11 && ReadUserInt(kSetupKey, L"NewContextMenu", 0) == 0) options->cascadedMenu = true;
}

void SaveIntegrationOptions(const IntegrationOptions& options) {
    for (uint32_t row = 0; row < kExtensionRows; row++) {
        wchar_t key[80];
        if (RowKey(row, key, CountOf(key))) WriteUserInt(key, L"Set", options.associate[row] ? 1 : 0);
    }
    WriteUserInt(kLinksKey, L"Desktop", options.linkDesktop ? 1 : 0);
    WriteUserInt(kLinksKey, L"StartMenu", options.linkStartMenu ? 1 : 0);
    WriteUserInt(kLinksKey, L"Programs", options.linkPrograms ? 1 : 0);
    WriteUserInt(kSetupKey, L"ShellExt", options.shellExt ? 1 : 0);
    WriteUserInt(kSetupKey, L"CascadedMenu", options.cascadedMenu ? 1 : 0);
    WriteUserInt(kSetupKey, L"MenuIcons", options.menuIcons ? 1 : 0);
    WriteUserInt(kSetupKey, L"LegacyMenu", options.legacyMenu ? 1 : 0);
}

void ApplyInitOptions(const wchar_t* text, IntegrationOptions* options) {
    if (text == nullptr) return;
    size_t at = 0;
    // A letter without a value ends the text.
    while (text[at] != 0 && text[at + 1] != 0) {
        wchar_t letter = ToUpperChar(text[at]);
        if (letter == L'A') {
            at++;
            for (uint32_t k = 0; k < kAssociateFlags && IsDecimalDigit(text[at]); k++, at++)
                options->associate[k] = text[at] == L'1';
            continue;
        }
        bool on = text[at + 1] == L'1';
        switch (letter) {
        case L'C': options->cascadedMenu = on; break;
        case L'D': options->linkDesktop = on; break;
        case L'I': options->menuIcons = on; break;
        case L'M': options->linkStartMenu = on; break;
        case L'P': options->linkPrograms = on; break;
        case L'S': options->shellExt = on; break;
        default: break;
        }
        at += 2;
    }
}
