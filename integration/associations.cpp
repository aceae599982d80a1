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
const wchar_t kRevSetupKey[] = L"Setup\\.rev";

enum : size_t { kCommandChars = 2080, kVolumeChars = 32 };

// ".rev" opens with the archiver's recovery-volume type.
bool IsRecoveryType() {
    wchar_t type[80];
    ReadSettingString(HKEY_CLASSES_ROOT, kRev, L"", type, L"", CountOf(type));
    return CompareNoCase(type, kOwnRevType) == 0;
}

bool IsOwnTypeName(const wchar_t* type) {
    return CompareNoCase(type, kOwnType) == 0 || CompareNoCase(type, kOwnZipType) == 0;
}

// A theme or the user may have chosen another icon; that one stays. One that names a missing
// archiver, or the one of the folder it moved from, is the archiver's to replace.
void WriteIconWhenUnset(const wchar_t* keyPath, const wchar_t* icon) {
    wchar_t current[kPathChars];
    ReadSettingString(HKEY_CLASSES_ROOT, keyPath, L"", current, L"", CountOf(current));
    if (current[0] == 0 || IsStaleLocation(current)) WriteSettingString(HKEY_CLASSES_ROOT, keyPath, L"", icon);
}

// Remembers the extension's file type and "New" menu entry before the archiver takes it over.
void RememberExtension(const wchar_t* extension, const wchar_t* setupKey) {
    wchar_t type[kRegPathChars];
    ReadSettingString(HKEY_CLASSES_ROOT, extension, L"", type, L"", CountOf(type));
    wchar_t shellNewKey[kPathChars];
    wchar_t fileName[kPathChars];
    fileName[0] = 0;
    bool nullFile = false;
    if (FormatBounded(shellNewKey, CountOf(shellNewKey), L"%ls\\ShellNew", extension) >= 0) {
        ReadSettingString(HKEY_CLASSES_ROOT, shellNewKey, L"FileName", fileName, L"", CountOf(fileName));
        wchar_t empty[10];
        nullFile = ReadSettingString(HKEY_CLASSES_ROOT, shellNewKey, L"NullFile", empty, L"", CountOf(empty));
    }
    bool existed = SettingKeyExists(HKEY_CLASSES_ROOT, extension);
    WriteUserInt(setupKey, L"Exist", existed ? 1 : 0);
    WriteUserString(setupKey, L"Type", type);
    WriteUserString(setupKey, L"ShellNew", fileName[0] != 0 ? fileName : nullFile ? L"*" : L"");
    // The texts above cannot hold every type, a long type or the other "New" values, and the
    // user can rewrite them: what is given back comes from the machine-wide record.
    RememberExactly(extension, existed);
}

// The old-style volume names ".k00" and on of multi-volume KVA archives, and the key that
// remembers each one's state; false when the key does not fit.
bool VolumeName(uint32_t number, wchar_t* out, size_t capacity, wchar_t* setupKey, size_t setupCapacity) {
    return FormatBounded(out, capacity, L".k%02u", number) >= 0 &&
           FormatBounded(setupKey, setupCapacity, L"Setup\\%ls", out) >= 0;
}

// Gives the extension back as the trusted record says, in an order that a run cut short anywhere
// leaves for the next run to finish: the volumes and the "New" entry first, the extension's own
// default value last, so that it still opens with the archiver until everything else is back.
// What another program has taken since (own false) keeps its default.
void GiveBack(const wchar_t* extension, const PreviousState& state, bool isKva, bool templateRow, bool own) {
    bool existed = state.exist != 0;
    const wchar_t* type = IsOwnTypeName(state.type) ? L"" : state.type;
    for (uint32_t number = 0; isKva && number < 100; number++) {
        wchar_t volume[kVolumeChars], volumeKey[80];
        // Only volumes that open with the archiver, or whose record a run cut short left, are its
        // to give back; another program's stay.
        if (!VolumeName(number, volume, CountOf(volume), volumeKey, CountOf(volumeKey))) continue;
        bool ownVolume = IsOwnFileType(volume);
        if (!ownVolume && !HasMachineRecord(volume)) continue;
        // A volume that setup took over remembers its own state; older installations did not.
        PreviousState volumeState;
        ReadPreviousState(volume, volumeKey, &volumeState);
        if (volumeState.exist != -1) {
            GiveBack(volume, volumeState, false, false, ownVolume);
            ForgetExactly(volume);
        } else if (existed && type[0] != 0) {
            WriteSettingString(HKEY_CLASSES_ROOT, volume, L"", type);
        } else {
            DeleteSettingKey(HKEY_CLASSES_ROOT, volume);
        }
    }
    if (templateRow) RestoreNewEntry(extension, state, isKva, own);
    if (own && existed) {
        if (!state.machineWide || !RestoreDefaultExactly(extension))
            WriteSettingString(HKEY_CLASSES_ROOT, extension, L"", type);
    } else if (own) {
        // There was no key: neither the value nor the key stays, unless another program's
        // subkeys keep the key.
        DeleteSettingValue(HKEY_CLASSES_ROOT, extension, L"");
        DeleteSettingKey(HKEY_CLASSES_ROOT, extension);
    } else if (!existed) {
        // A run cut short after the value went: the key it left empty goes too.
        DeleteSettingKeyIfEmpty(HKEY_CLASSES_ROOT, extension);
    }
}

}  // namespace

bool IsOwnFileType(const wchar_t* extension) {
    wchar_t type[80];
    ReadSettingString(HKEY_CLASSES_ROOT, extension, L"", type, L"", CountOf(type));
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
    if (!IsRecoveryType() && !HasMachineRecord(kRev)) RememberExtension(kRev, kRevSetupKey);
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
            BindExtension(extension, options.associate[row], options.shellExt, row == kKvaRow, row == kZipRow);
        }
    }
}

void BindExtension(const wchar_t* extension, bool selected, bool shellExtWanted, bool isKva, bool isZip) {
    // An extension whose keys cannot be named in full is left alone: a cut name is another key.
    wchar_t setupKey[80];
    if (extension == nullptr || extension[0] == 0 ||
        FormatBounded(setupKey, CountOf(setupKey), L"Setup\\%ls", extension) < 0)
        return;
    bool templateRow = isKva || isZip;
    bool templateWanted = IsTemplateWanted(shellExtWanted, isKva, isZip);

    if (selected) {
        // Only the first take-over is remembered: a second setup run finds the extension bound, or
        // its record still there after a give-back that was cut short.
        if (!IsOwnFileType(extension) && !HasMachineRecord(extension)) RememberExtension(extension, setupKey);
        WriteSettingString(HKEY_CLASSES_ROOT, extension, L"", isZip ? kOwnZipType : kOwnType);
        if (isKva) {
            for (uint32_t number = 0; number < 30; number++) {
                wchar_t volume[kVolumeChars], volumeKey[80];
                if (!VolumeName(number, volume, CountOf(volume), volumeKey, CountOf(volumeKey))) continue;
                if (!IsOwnFileType(volume) && !HasMachineRecord(volume)) RememberExtension(volume, volumeKey);
                WriteSettingString(HKEY_CLASSES_ROOT, volume, L"", kOwnType);
            }
        }
        if (templateWanted && templateRow) WriteNewTemplate(extension, isKva);
    }
    PreviousState state;
    ReadPreviousState(extension, setupKey, &state);
    bool own = IsOwnFileType(extension);
    if (selected) {
        // The template switched off while the extension stays bound: its previous "New" entry is back.
        if (own && templateRow && !templateWanted) RestoreNewEntry(extension, state, isKva, true);
        return;
    }
    // What another program has taken since, with nothing remembered, is not ours to give back.
    // With a record, what is still ours of it (volumes, "New" entry) goes back: a run cut short
    // may have given back the default value already.
    if (!own && state.exist == -1) return;
    // Without any record the key is kept, with an empty type.
    if (state.exist == -1) state.exist = 1;
    GiveBack(extension, state, isKva, templateRow, own);
    // Dropped only once everything is back, so that a run cut short can be finished.
    ForgetExactly(extension);
}

void GiveBackRecoveryExtension() {
    PreviousState state;
    ReadPreviousState(kRev, kRevSetupKey, &state);
    bool own = IsRecoveryType();
    // Another program that has taken ".rev" since keeps it.
    if (!own && state.exist == -1) return;
    if (state.exist == -1) {
        // An older installation remembered nothing: the key was the archiver's alone.
        DeleteSettingTree(HKEY_CLASSES_ROOT, kRev);
        return;
    }
    GiveBack(kRev, state, false, false, own);
    ForgetExactly(kRev);
}
