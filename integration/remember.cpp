// What an extension looked like before the archiver took it over (whether its key existed, its
// default value, every value of its "New" entry): kept where only administrators can write as a
// copy of what stood there, and read back as one PreviousState, whichever record holds it.
#include "integration/integration.h"

#include <wchar.h>

namespace {

// Machine-wide and by absolute path: what is written back into the machine's classes never
// comes from anything the user, a settings file or another program of the user's can write. The
// record key holds the class key's default value as its own default value, type and bytes as
// they were, the "New" entry's values in its subkey "ShellNew", and "Exist".
const wchar_t kRecordKeyFormat[] = L"\\Software\\Ombrix\\Previous\\%ls";
const wchar_t kExist[] = L"Exist";
const wchar_t kShellNewFormat[] = L"%ls\\ShellNew";
// Test builds kept the default value and the "New" entry as hex texts in these values. No
// released build wrote them, and read as a copy such a record would say that the class had no
// default value: it counts as no record.
const wchar_t* const kTextFormValues[] = {L"PreviousDefault", L"PreviousShellNew"};
// The older per-user texts, still written for whatever reads them.
const wchar_t kUserKeyFormat[] = L"Setup\\%ls";
const wchar_t kUserType[] = L"Type";
const wchar_t kUserShellNew[] = L"ShellNew";

// The machine-wide key that keeps an extension's previous state; false when it does not fit.
bool RecordKey(const wchar_t* extension, wchar_t* out, size_t capacity) {
    return FormatBounded(out, capacity, kRecordKeyFormat, extension) >= 0;
}

// A value's text up to its terminator, as a file type: the archiver's own types are none.
void TakeType(const StoredValue& value, wchar_t* out, size_t capacity) {
    out[0] = 0;
    if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) return;
    // The data carries zero bytes behind it: an odd last byte makes a whole character.
    const wchar_t* text = reinterpret_cast<const wchar_t*>(value.data.Data());
    size_t chars = wcsnlen(text, (value.bytes + 1) / sizeof(wchar_t));
    if (chars >= capacity) chars = capacity - 1;
    wmemcpy(out, text, chars);
    out[chars] = 0;
    if (IsOwnTypeName(out)) out[0] = 0;
}

bool ReadMachineRecord(const wchar_t* recordKey, PreviousState* out) {
    int32_t exist = ReadSettingInt(HKEY_LOCAL_MACHINE, recordKey, kExist, -1);
    if (exist == -1) return false;
    StoredValue textForm;
    for (const wchar_t* name : kTextFormValues) {
        if (ReadStoredValue(HKEY_LOCAL_MACHINE, recordKey, name, &textForm)) return false;
    }
    out->record = PreviousRecord::Machine;
    out->existed = exist != 0;
    out->defaultExisted = ReadStoredValue(HKEY_LOCAL_MACHINE, recordKey, L"", &out->defaultValue);
    if (out->defaultExisted) TakeType(out->defaultValue, out->type, CountOf(out->type));
    out->shellNewExisted =
        FormatBounded(out->shellNewCopy, CountOf(out->shellNewCopy), kShellNewFormat, recordKey) >= 0 &&
        SettingKeyExists(HKEY_LOCAL_MACHINE, out->shellNewCopy);
    return true;
}

void ReadUserRecord(const wchar_t* extension, PreviousState* out) {
    wchar_t userKey[80];
    if (FormatBounded(userKey, CountOf(userKey), kUserKeyFormat, extension) < 0) return;
    int32_t exist = ReadUserInt(userKey, kExist, -1);
    if (exist == -1) return;
    out->record = PreviousRecord::User;
    out->existed = exist != 0;
    // The user's record was written as text; any other data, or a value that runs something (a
    // "New" command), is never taken from it.
    StoredValue type;
    if (ReadStoredValue(HKEY_CURRENT_USER, userKey, kUserType, &type) && type.type == REG_SZ)
        TakeType(type, out->type, CountOf(out->type));
    StoredValueFromText(out->type, &out->defaultValue);
    ReadUserString(userKey, kUserShellNew, L"", out->shellNewText, CountOf(out->shellNewText));
    out->shellNewExisted = out->shellNewText[0] != 0;
}

}  // namespace

void KeepPreviousState(const wchar_t* extension) {
    wchar_t userKey[80], recordKey[80], shellNewKey[kPathChars];
    if (FormatBounded(userKey, CountOf(userKey), kUserKeyFormat, extension) < 0) return;
    // The older per-user texts: whether the key existed, the file type, and the "New" entry's
    // "FileName", or "*" for "NullFile".
    wchar_t type[kRegPathChars];
    ReadSettingString(HKEY_CLASSES_ROOT, extension, L"", L"", type, CountOf(type));
    wchar_t fileName[kPathChars];
    fileName[0] = 0;
    bool nullFile = false;
    bool shellNewNamed = FormatBounded(shellNewKey, CountOf(shellNewKey), kShellNewFormat, extension) >= 0;
    if (shellNewNamed) {
        ReadSettingString(HKEY_CLASSES_ROOT, shellNewKey, L"FileName", L"", fileName, CountOf(fileName));
        wchar_t empty[10];
        nullFile = ReadSettingString(HKEY_CLASSES_ROOT, shellNewKey, L"NullFile", L"", empty, CountOf(empty));
    }
    bool existed = SettingKeyExists(HKEY_CLASSES_ROOT, extension);
    WriteUserInt(userKey, kExist, existed ? 1 : 0);
    WriteUserString(userKey, kUserType, type);
    WriteUserString(userKey, kUserShellNew, fileName[0] != 0 ? fileName : nullFile ? L"*" : L"");

    // The texts above cannot hold every type, a long type or the other "New" values, and the
    // user can rewrite them: what is given back comes from the machine-wide record.
    if (!RecordKey(extension, recordKey, CountOf(recordKey))) return;
    LogEvent(L"remember: %ls as it stands before setup takes it over (key %ls)", extension, existed ? L"exists" : L"absent");
    // An older record goes first, "Exist" with it: a setup ended midway never leaves the new
    // values under the old record's "Exist".
    ForgetPreviousState(extension);
    StoredValue value;
    if (ReadStoredValue(HKEY_CLASSES_ROOT, extension, L"", &value)) WriteStoredValue(HKEY_LOCAL_MACHINE, recordKey, L"", value);
    wchar_t copyKey[kRegPathChars];
    if (shellNewNamed && SettingKeyExists(HKEY_CLASSES_ROOT, shellNewKey) &&
        FormatBounded(copyKey, CountOf(copyKey), kShellNewFormat, recordKey) >= 0) {
        // Created also when empty: an entry without values is still an entry.
        CreateSettingKey(HKEY_LOCAL_MACHINE, copyKey);
        BoundedArray<wchar_t> name;
        for (DWORD index = 0; ReadStoredValueAt(HKEY_CLASSES_ROOT, shellNewKey, index, &name, &value); index++)
            WriteStoredValue(HKEY_LOCAL_MACHINE, copyKey, name.Data(), value);
    }
    // Last: the record counts once "Exist" stands, so a setup ended midway remembers afresh.
    WriteSettingInt(HKEY_LOCAL_MACHINE, recordKey, kExist, existed ? 1 : 0);
}

void ReadPreviousState(const wchar_t* extension, PreviousState* out) {
    wchar_t recordKey[80];
    if (RecordKey(extension, recordKey, CountOf(recordKey)) && ReadMachineRecord(recordKey, out)) return;
    ReadUserRecord(extension, out);
    // No record at all reads as a key that existed with an empty type.
    if (out->record == PreviousRecord::None) StoredValueFromText(L"", &out->defaultValue);
}

bool NextPreviousShellNewValue(const PreviousState& state, DWORD* index, BoundedArray<wchar_t>* name,
                               StoredValue* out) {
    if (!state.shellNewExisted) return false;
    if (state.record == PreviousRecord::Machine)
        return ReadStoredValueAt(HKEY_LOCAL_MACHINE, state.shellNewCopy, (*index)++, name, out);
    // The older per-user text is one value: "*" stood for "NullFile", anything else is "FileName".
    if ((*index)++ != 0) return false;
    bool nullFile = state.shellNewText[0] == L'*';
    const wchar_t* valueName = nullFile ? L"NullFile" : L"FileName";
    name->Resize((uint32_t)wcslen(valueName) + 1);
    wmemcpy(name->Data(), valueName, wcslen(valueName) + 1);
    return StoredValueFromText(nullFile ? L"" : state.shellNewText, out);
}

void ForgetPreviousState(const wchar_t* extension) {
    wchar_t key[80];
    // Whole: while "Exist" stands, a record cut short as it goes is still found, and forgotten, by the
    // next run.
    if (RecordKey(extension, key, CountOf(key))) DeleteSettingTree(HKEY_LOCAL_MACHINE, key);
}
