// File associations: the archiver's three file types, and binding each selected extension to
// them while remembering what it was, so that it can be given back as it was.
#include "integration/integration.h"

#include "resources/resource.h"

#include <shlobj.h>

namespace {

const wchar_t kOwnType[] = L"Ombrix";
const wchar_t kOwnZipType[] = L"Ombrix.ZIP";

const wchar_t kOwnRevType[] = L"Ombrix.REV";
const wchar_t kRev[] = L".rev";

enum : size_t { kCommandChars = 2080 };

// A theme or the user may have chosen another icon; that one stays. One that names a missing
// archiver, or the one of the folder it moved from, is the archiver's to replace.
void WriteIconWhenUnset(const wchar_t* keyPath, const wchar_t* icon) {
    wchar_t current[kPathChars];
    ReadSettingString(HKEY_CLASSES_ROOT, keyPath, L"", L"", current, CountOf(current));
    if (current[0] == 0 || IsStaleLocation(current)) WriteSettingString(HKEY_CLASSES_ROOT, keyPath, L"", icon);
}

}  // namespace

bool IsOwnTypeName(const wchar_t* type) {
    return CompareNoCase(type, kOwnType) == 0 || CompareNoCase(type, kOwnZipType) == 0;
}

bool IsRecoveryType() {
    wchar_t type[80];
    ReadSettingString(HKEY_CLASSES_ROOT, kRev, L"", L"", type, CountOf(type));
    return CompareNoCase(type, kOwnRevType) == 0;
}

bool VolumeName(uint32_t number, wchar_t* out, size_t capacity) {
    return FormatBounded(out, capacity, L".k%02u", number) >= 0;
}

bool IsOwnFileType(const wchar_t* extension) {
    wchar_t type[80];
    ReadSettingString(HKEY_CLASSES_ROOT, extension, L"", L"", type, CountOf(type));
    return IsOwnTypeName(type);
}

bool RegisterFileTypes() {
    wchar_t program[kPathChars];
    ArchiverPath(program, CountOf(program));
    wchar_t command[kCommandChars];
    wchar_t archiveIcon[kCommandChars];
    wchar_t volumeIcon[kCommandChars];
    FormatBounded(command, CountOf(command), L"\"%ls\" \"%%1\"", program);
    FormatBounded(archiveIcon, CountOf(archiveIcon), L"%ls,0", program);
    FormatBounded(volumeIcon, CountOf(volumeIcon), L"%ls,1", program);

    // Without rights to the classes nothing else is tried.
    if (WriteSettingString(HKEY_CLASSES_ROOT, kOwnType, L"", GetMessageText(IDS_OMBRIXARC)) == ERROR_ACCESS_DENIED)
        return false;
    WriteSettingString(HKEY_CLASSES_ROOT, L"Ombrix\\shell\\open\\command", L"", command);
    WriteIconWhenUnset(L"Ombrix\\DefaultIcon", archiveIcon);
    WriteSettingString(HKEY_CLASSES_ROOT, kOwnZipType, L"", GetMessageText(IDS_OMBRIXZIPARC));
    WriteSettingString(HKEY_CLASSES_ROOT, L"Ombrix.ZIP\\shell\\open\\command", L"", command);
    WriteIconWhenUnset(L"Ombrix.ZIP\\DefaultIcon", archiveIcon);
    if (!IsRecoveryType()) KeepPreviousState(kRev);
    WriteSettingString(HKEY_CLASSES_ROOT, kRev, L"", kOwnRevType);
    WriteSettingString(HKEY_CLASSES_ROOT, L"Ombrix.REV", L"", GetMessageText(IDS_KVARECVOL));
    WriteSettingString(HKEY_CLASSES_ROOT, L"Ombrix.REV\\shell\\open\\command", L"", command);
    WriteIconWhenUnset(L"Ombrix.REV\\DefaultIcon", volumeIcon);
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return true;
}

void BindAllExtensions(const IntegrationOptions& options) {
    for (uint32_t row = 0; row < kExtensionRows; row++) {
        wchar_t extension[kExtensionChars];
        const wchar_t* rest = ExtensionTable[row].list;
        while ((rest = NextExtension(rest, extension, CountOf(extension))) != nullptr) {
            if (extension[0] == 0) continue;
            BindExtension(extension, ExtensionTable[row], options.associate[row], options.shellExt);
        }
    }
}

void BindExtension(const wchar_t* extension, const ExtensionRow& row, bool selected, bool shellExtWanted) {
    // An extension whose keys cannot be named in full is left alone: a cut name is another key.
    wchar_t setupKey[80];
    if (extension == nullptr || extension[0] == 0 ||
        FormatBounded(setupKey, CountOf(setupKey), L"Setup\\%ls", extension) < 0)
        return;
    if (!selected) {
        GiveBackExtension(extension, row);
        return;
    }
    // What stands when the archiver takes the extension over is what goes back: a record is
    // kept only while the extension is still bound (a second setup, or a give-back cut short);
    // one that another program has taken since is remembered afresh.
    if (!IsOwnFileType(extension)) KeepPreviousState(extension);
    WriteSettingString(HKEY_CLASSES_ROOT, extension, L"", row.fileType);
    if (row.kind == RowKind::Kva) {
        for (uint32_t number = 0; number < kBoundVolumes; number++) {
            wchar_t volume[32];
            if (!VolumeName(number, volume, CountOf(volume))) continue;
            if (!IsOwnFileType(volume)) KeepPreviousState(volume);
            WriteSettingString(HKEY_CLASSES_ROOT, volume, L"", kOwnType);
        }
    }
    if (row.kind == RowKind::Plain) return;
    // The template switched off while the extension stays bound: its previous "New" entry is back.
    if (IsTemplateWanted(shellExtWanted, row.kind)) {
        WriteNewTemplate(extension, row.kind);
    } else {
        GiveBackNewEntry(extension, row);
    }
}
