// Giving an extension back: its default value, its old-style volumes and its "New" entry, each as
// the previous state says, and only what is still the archiver's.
#include "integration/integration.h"

namespace {

// The extension's own default value, given back last: until then it still opens with the
// archiver, so that a run cut short is finished by the next. What another program has taken
// since (own false) keeps its default; a key it left empty, where there was none, goes.
void GiveBackDefault(const wchar_t* extension, const PreviousState& state, bool own) {
    if (!own) {
        if (!state.existed) DeleteSettingKeyIfEmpty(HKEY_CLASSES_ROOT, extension);
    } else if (!state.existed) {
        // Neither the value nor the key stays, unless another program's subkeys keep the key.
        DeleteSettingValue(HKEY_CLASSES_ROOT, extension, L"");
        DeleteSettingKey(HKEY_CLASSES_ROOT, extension);
    } else if (state.defaultExisted) {
        WriteStoredValue(HKEY_CLASSES_ROOT, extension, L"", state.defaultValue);
    } else {
        DeleteSettingValue(HKEY_CLASSES_ROOT, extension, L"");
    }
}

// Each volume as its own record says, then forgotten; one that an older installation took
// without a record opens again as the KVA extension did.
void GiveBackVolumes(const PreviousState& kva) {
    for (uint32_t number = 0; number < kVolumeNames; number++) {
        wchar_t volume[32];
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
        } else if (kva.existed && kva.type[0] != 0) {
            WriteSettingString(HKEY_CLASSES_ROOT, volume, L"", kva.type);
        } else {
            DeleteSettingKey(HKEY_CLASSES_ROOT, volume);
        }
    }
}

// Puts the previous "New" entry back; where the extension is no longer the archiver's (own
// false), only while the entry still names the archiver's template.
void RestoreNewEntry(const wchar_t* extension, const PreviousState& state, RowKind kind, bool own) {
    wchar_t key[kPathChars];
    if (!ShellNewKey(extension, key, CountOf(key))) return;
    if (!own) {
        wchar_t named[kPathChars], ours[kPathChars];
        ReadSettingString(HKEY_CLASSES_ROOT, key, L"FileName", L"", named, CountOf(named));
        if (!TemplatePath(kind, ours, CountOf(ours)) || CompareNoCase(named, ours) != 0) return;
    }
    if (!state.existed) {
        DeleteSettingKey(HKEY_CLASSES_ROOT, key);
        return;
    }
    // What comes back is written before the template's "FileName" goes, unless it is one of them.
    bool hadFileName = false;
    BoundedArray<wchar_t> name;
    StoredValue value;
    for (DWORD index = 0; NextPreviousShellNewValue(state, &index, &name, &value);) {
        // As the registry tells value names apart: ordinal, ignoring case only.
        hadFileName = hadFileName || CompareStringOrdinal(name.Data(), -1, L"FileName", -1, TRUE) == CSTR_EQUAL;
        WriteStoredValue(HKEY_CLASSES_ROOT, key, name.Data(), value);
    }
    if (!hadFileName) DeleteSettingValue(HKEY_CLASSES_ROOT, key, L"FileName");
    // There was no entry: the key that held the template goes too, unless something else lives in it.
    if (!state.shellNewExisted) DeleteSettingKeyIfEmpty(HKEY_CLASSES_ROOT, key);
}

}  // namespace

void GiveBackExtension(const wchar_t* extension, const ExtensionRow& row) {
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
    if (row.kind == RowKind::Kva) GiveBackVolumes(state);
    if (row.kind != RowKind::Plain) RestoreNewEntry(extension, state, row.kind, own);
    GiveBackDefault(extension, state, own);
    ForgetPreviousState(extension);
}

void GiveBackNewEntry(const wchar_t* extension, const ExtensionRow& row) {
    if (row.kind == RowKind::Plain || !IsOwnFileType(extension)) return;
    PreviousState state;
    ReadPreviousState(extension, &state);
    RestoreNewEntry(extension, state, row.kind, true);
}

void GiveBackRecoveryExtension() {
    PreviousState state;
    ReadPreviousState(L".rev", &state);
    bool own = IsRecoveryType();
    // Another program that has taken ".rev" since keeps it.
    if (!own && state.record == PreviousRecord::None) return;
    if (state.record == PreviousRecord::None) {
        // An older installation remembered nothing: the key was the archiver's alone.
        DeleteSettingTree(HKEY_CLASSES_ROOT, L".rev");
        return;
    }
    GiveBackDefault(L".rev", state, own);
    ForgetPreviousState(L".rev");
}
