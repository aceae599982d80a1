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

enum : size_t { kCommandChars = 2080, kVolumeChars = 32 };

// ".rev" opens with the archiver's recovery-volume type.
bool IsRecoveryType() {
    wchar_t type[80];
    ReadSettingString(HKEY_CLASSES_ROOT, kRev, L"", L"", type, CountOf(type));
    return CompareNoCase(type, kOwnRevType) == 0;
}

bool IsOwnTypeName(const wchar_t* type) {
    return CompareNoCase(type, kOwnType) == 0 || CompareNoCase(type, kOwnZipType) == 0;
}

// A theme or the user may have chosen another icon; that one stays. One that names a missing
// archiver, or the one of the folder it moved from, is the archiver's to replace.
void WriteIconWhenUnset(const wchar_t* keyPath, const wchar_t* icon) {
    wchar_t current[kPathChars];
    ReadSettingString(HKEY_CLASSES_ROOT, keyPath, L"", L"", current, CountOf(current));
    if (current[0] == 0 || IsStaleLocation(current)) WriteSettingString(HKEY_CLASSES_ROOT, keyPath, L"", icon);
}

// The old-style volume names ".k00" and on of multi-volume KVA archives.
bool VolumeName(uint32_t number, wchar_t* out, size_t capacity) {
    return FormatBounded(out, capacity, L".k%02u", number) >= 0;
}

// The default value as the record gives it back as a file type: the archiver's own types are none.
const wchar_t* PreviousType(const PreviousState& state) { return IsOwnTypeName(state.type) ? L"" : state.type; }

// The extension's own default value, given back last: until then it still opens with the
// archiver, so that a run cut short is finished by the next. What another program has taken
// since (own false) keeps its default.
void GiveBackDefault(const wchar_t* extension, const PreviousState& state, bool own) {
    if (own && state.existed) {
        if (!state.defaultKept) {
            WriteSettingString(HKEY_CLASSES_ROOT, extension, L"", PreviousType(state));
        } else if (state.defaultExisted) {
            WriteStoredValue(HKEY_CLASSES_ROOT, extension, L"", state.defaultValue);
        } else {
            DeleteSettingValue(HKEY_CLASSES_ROOT, extension, L"");
        }
    } else if (own) {
        // There was no key: neither the value nor the key stays, unless another program's
        // subkeys keep the key.
        DeleteSettingValue(HKEY_CLASSES_ROOT, extension, L"");
        DeleteSettingKey(HKEY_CLASSES_ROOT, extension);
    } else if (!state.existed) {
        // A run cut short after the value went: the key it left empty goes too.
        DeleteSettingKeyIfEmpty(HKEY_CLASSES_ROOT, extension);
    }
}

// The volumes of a KVA extension: each as its own record says and then forgotten; one that an
// older installation took without a record opens again as the extension did.
void GiveBackVolumes(const PreviousState& kva) {
    for (uint32_t number = 0; number < 100; number++) {
        wchar_t volume[kVolumeChars];
        if (!VolumeName(number, volume, CountOf(volume))) continue;
        PreviousState state;
        ReadPreviousState(volume, &state);
        // Only volumes that open with the archiver, or whose record a run cut short left, are its
        // to give back; another program's stay.
        bool own = IsOwnFileType(volume);
        if (!own && state.record != PreviousRecord::Machine) continue;
        if (state.record != PreviousRecord::None) {
            GiveBackDefault(volume, state, own);
            ForgetPreviousState(volume);
        } else if (kva.existed && PreviousType(kva)[0] != 0) {
            WriteSettingString(HKEY_CLASSES_ROOT, volume, L"", PreviousType(kva));
        } else {
            DeleteSettingKey(HKEY_CLASSES_ROOT, volume);
        }
    }
}

// Gives an extension back as its record says, in an order that a run cut short anywhere leaves
// for the next run to finish: the volumes, then the "New" entry, the default value last; the
// record goes only once everything is back.
void GiveBack(const wchar_t* extension, bool isKva, bool isZip) {
    PreviousState state;
    ReadPreviousState(extension, &state);
    bool own = IsOwnFileType(extension);
    // What another program has taken since, with nothing remembered, is not ours to give back.
    // With a record, what is still ours of it (volumes, "New" entry) goes back: a run cut short
    // may have given back the default value already.
    if (!own && state.record == PreviousRecord::None) return;
    LogEvent(L"give back: %ls from %ls", extension, state.record == PreviousRecord::Machine ? L"the machine-wide record"
                                                   : state.record == PreviousRecord::User ? L"the user's older record"
                                                                                          : L"no record (an empty type)");
    // Without any record the key is kept, with an empty type.
    if (state.record == PreviousRecord::None) state.existed = true;

    if (isKva) GiveBackVolumes(state);
    if (isKva || isZip) RestoreNewEntry(extension, state, isKva, own);
    GiveBackDefault(extension, state, own);
    ForgetPreviousState(extension);
}

}  // namespace

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
    if (!selected) {
        GiveBack(extension, isKva, isZip);
        return;
    }
    // What stands when the archiver takes the extension over is what goes back: a record is
    // kept only while the extension is still bound (a second setup, or a give-back cut short);
    // one that another program has taken since is remembered afresh.
    if (!IsOwnFileType(extension)) KeepPreviousState(extension);
    WriteSettingString(HKEY_CLASSES_ROOT, extension, L"", isZip ? kOwnZipType : kOwnType);
    if (isKva) {
        for (uint32_t number = 0; number < 30; number++) {
            wchar_t volume[kVolumeChars];
            if (!VolumeName(number, volume, CountOf(volume))) continue;
            if (!IsOwnFileType(volume)) KeepPreviousState(volume);
            WriteSettingString(HKEY_CLASSES_ROOT, volume, L"", kOwnType);
        }
    }
    bool templateRow = isKva || isZip;
    bool templateWanted = IsTemplateWanted(shellExtWanted, isKva, isZip);
    if (templateWanted && templateRow) WriteNewTemplate(extension, isKva);
    // The template switched off while the extension stays bound: its previous "New" entry is back.
    if (templateRow && !templateWanted && IsOwnFileType(extension)) {
        PreviousState state;
        ReadPreviousState(extension, &state);
        RestoreNewEntry(extension, state, isKva, true);
    }
}

void GiveBackRecoveryExtension() {
    PreviousState state;
    ReadPreviousState(kRev, &state);
    bool own = IsRecoveryType();
    // Another program that has taken ".rev" since keeps it.
    if (!own && state.record == PreviousRecord::None) return;
    if (state.record == PreviousRecord::None) {
        // An older installation remembered nothing: the key was the archiver's alone.
        DeleteSettingTree(HKEY_CLASSES_ROOT, kRev);
        return;
    }
    GiveBackDefault(kRev, state, own);
    ForgetPreviousState(kRev);
}
