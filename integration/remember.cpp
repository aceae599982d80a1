// What an extension looked like before the archiver took it over (whether its key existed, the
// registry type and whole data of its default value, every value of its "New" entry): kept where
// only administrators can write, and read back as one PreviousState. The record's text form is
// written and read here only.
#include "integration/integration.h"

#include <string.h>

namespace {

// Machine-wide and by absolute path: what is written back into the machine's classes never
// comes from anything the user, a settings file or another program of the user's can write.
const wchar_t kRecordKeyFormat[] = L"\\Software\\Ombrix\\Previous\\%ls";
const wchar_t kPreviousDefault[] = L"PreviousDefault";
const wchar_t kPreviousShellNew[] = L"PreviousShellNew";
const wchar_t kExist[] = L"Exist";
// The older per-user texts, still written for whatever reads them.
const wchar_t kUserKeyFormat[] = L"Setup\\%ls";
const wchar_t kUserType[] = L"Type";
const wchar_t kUserShellNew[] = L"ShellNew";

// The record's text form, written by Encoder and read by the Decode functions below. A value is
// "<type>,<hex data>", a list of named values "<hex name>,<type>,<hex data>;" for each, and
// "none" stands for a value or key that did not exist.
const wchar_t kNone[] = L"none";

class Encoder {
public:
    void Append(const wchar_t* text) { AppendChars(text, wcslen(text)); }
    void AppendHex(const BYTE* bytes, size_t count) {
        static const wchar_t kDigits[] = L"0123456789ABCDEF";
        for (size_t i = 0; i < count; i++) {
            wchar_t pair[2] = {kDigits[bytes[i] >> 4], kDigits[bytes[i] & 15]};
            AppendChars(pair, 2);
        }
    }
    void AppendValue(const StoredValue& value) {
        wchar_t number[20];
        Int64ToString(value.type, number, CountOf(number));
        Append(number);
        Append(L",");
        AppendHex(value.data.Data(), value.bytes);
    }
    void AppendNamedValue(const wchar_t* name, const StoredValue& value) {
        AppendHex(reinterpret_cast<const BYTE*>(name), wcslen(name) * sizeof(wchar_t));
        Append(L",");
        AppendValue(value);
        Append(L";");
    }
    const wchar_t* Get() {
        if (text_.Count() == 0) AppendChars(L"", 0);
        return text_.Data();
    }

private:
    void AppendChars(const wchar_t* chars, size_t count) {
        uint32_t end = text_.Count() == 0 ? 0 : text_.Count() - 1;
        text_.Resize(end + (uint32_t)count + 1);
        memcpy(text_.Data() + end, chars, count * sizeof(wchar_t));
        text_[end + (uint32_t)count] = 0;
    }
    BoundedArray<wchar_t> text_;
};

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    return -1;
}

// Hex pairs up to a NUL, "," or ";"; false on anything else. Two zero bytes stand behind the
// data: the registry reads a string's terminator even where the size leaves it out.
bool DecodeHex(const wchar_t** text, BoundedArray<BYTE>* out) {
    const wchar_t* p = *text;
    uint32_t count = 0;
    out->Resize(2);
    while (*p != 0 && *p != L',' && *p != L';') {
        int high = HexDigit(p[0]);
        int low = high < 0 ? -1 : HexDigit(p[1]);
        if (low < 0) return false;
        out->Resize(count + 3);
        (*out)[count++] = (BYTE)(high * 16 + low);
        p += 2;
    }
    (*out)[count] = (*out)[count + 1] = 0;
    out->Resize(count);
    *text = p;
    return true;
}

// "<type>,"
bool DecodeType(const wchar_t** text, DWORD* type) {
    const wchar_t* p = *text;
    uint64_t value = 0;
    if (!IsDecimalDigit(*p)) return false;
    while (IsDecimalDigit(*p) && value <= MAXDWORD) value = value * 10 + (DWORD)(*p++ - L'0');
    if (value > MAXDWORD || *p != L',') return false;
    *type = (DWORD)value;
    *text = p + 1;
    return true;
}

// "<type>,<hex data>" up to the next "," or ";" or the end.
bool DecodeValue(const wchar_t** text, StoredValue* out) {
    if (!DecodeType(text, &out->type) || !DecodeHex(text, &out->data)) return false;
    out->bytes = out->data.Count();
    return true;
}

// One "<hex name>,<type>,<hex data>;"; the name comes with its terminator.
bool DecodeNamedValue(const wchar_t** text, BoundedArray<wchar_t>* name, StoredValue* out) {
    const wchar_t* p = *text;
    BoundedArray<BYTE> nameBytes;
    if (!DecodeHex(&p, &nameBytes) || *p++ != L',' || !DecodeValue(&p, out) || *p++ != L';' ||
        nameBytes.Count() % sizeof(wchar_t) != 0)
        return false;
    uint32_t chars = nameBytes.Count() / sizeof(wchar_t);
    name->Resize(chars + 1);
    memcpy(name->Data(), nameBytes.Data(), nameBytes.Count());
    (*name)[chars] = 0;
    *text = p;
    return true;
}

const wchar_t* AsText(const StoredValue& value) { return reinterpret_cast<const wchar_t*>(value.data.Data()); }

bool IsTextType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// The machine-wide key that keeps an extension's previous state; false when it does not fit.
bool PreviousStateKey(const wchar_t* extension, wchar_t* out, size_t capacity) {
    return FormatBounded(out, capacity, kRecordKeyFormat, extension) >= 0;
}

// The record's text value; false when it was never written.
bool ReadRecordText(const wchar_t* recordKey, const wchar_t* name, StoredValue* out) {
    return ReadStoredValue(HKEY_LOCAL_MACHINE, recordKey, name, out) && IsTextType(out->type);
}

// The kept default value, decoded whole: one that does not parse is not kept at all.
void DecodeDefault(const wchar_t* recordKey, PreviousState* out) {
    StoredValue remembered;
    if (!ReadRecordText(recordKey, kPreviousDefault, &remembered)) return;
    const wchar_t* text = AsText(remembered);
    out->defaultExisted = wcscmp(text, kNone) != 0;
    out->defaultKept = !out->defaultExisted || (DecodeValue(&text, &out->defaultValue) && *text == 0);
    if (!out->defaultKept || !out->defaultExisted || !IsTextType(out->defaultValue.type)) return;
    // As a file type: the text up to its terminator.
    size_t chars = out->defaultValue.data.Count() / sizeof(wchar_t);
    if (chars >= CountOf(out->type)) chars = CountOf(out->type) - 1;
    memcpy(out->type, out->defaultValue.data.Data(), chars * sizeof(wchar_t));
    out->type[chars] = 0;
}

// The kept "New" entry, taken only when its whole list parses.
void DecodeShellNew(const wchar_t* recordKey, PreviousState* out) {
    StoredValue remembered;
    if (!ReadRecordText(recordKey, kPreviousShellNew, &remembered)) return;
    const wchar_t* text = AsText(remembered);
    if (wcscmp(text, kNone) != 0) {
        // A record cut short while it was written, or changed since, gives back nothing of the
        // entry: half of another program's values could be a different entry. The older per-user
        // text of the entry stands in.
        BoundedArray<wchar_t> name;
        StoredValue value;
        for (const wchar_t* p = text; *p != 0;) {
            if (!DecodeNamedValue(&p, &name, &value)) return;
        }
        out->shellNewExisted = true;
    }
    size_t chars = wcslen(text) + 1;
    out->shellNewList.Resize((uint32_t)chars);
    memcpy(out->shellNewList.Data(), text, chars * sizeof(wchar_t));
    out->shellNewKept = true;
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
    bool shellNewNamed = FormatBounded(shellNewKey, CountOf(shellNewKey), L"%ls\\ShellNew", extension) >= 0;
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
    if (!PreviousStateKey(extension, recordKey, CountOf(recordKey))) return;
    LogEvent(L"remember: %ls as it stands before setup takes it over (key %ls)", extension, existed ? L"exists" : L"absent");
    // An older record goes first, "Exist" with it: a setup ended midway never leaves the new
    // values under the old record's "Exist".
    ForgetPreviousState(extension);
    Encoder previous;
    StoredValue value;
    if (ReadStoredValue(HKEY_CLASSES_ROOT, extension, L"", &value)) {
        previous.AppendValue(value);
    } else {
        previous.Append(kNone);
    }
    WriteSettingString(HKEY_LOCAL_MACHINE, recordKey, kPreviousDefault, previous.Get());

    if (shellNewNamed) {
        Encoder entry;
        if (!SettingKeyExists(HKEY_CLASSES_ROOT, shellNewKey)) entry.Append(kNone);
        BoundedArray<wchar_t> name;
        for (DWORD index = 0; ReadStoredValueAt(HKEY_CLASSES_ROOT, shellNewKey, index, &name, &value); index++) {
            entry.AppendNamedValue(name.Data(), value);
        }
        WriteSettingString(HKEY_LOCAL_MACHINE, recordKey, kPreviousShellNew, entry.Get());
    }
    // Last: the record counts once "Exist" stands, so a setup ended midway remembers afresh.
    WriteSettingInt(HKEY_LOCAL_MACHINE, recordKey, kExist, existed ? 1 : 0);
}

void ReadPreviousState(const wchar_t* extension, PreviousState* out) {
    wchar_t recordKey[80], userKey[80];
    bool recordNamed = PreviousStateKey(extension, recordKey, CountOf(recordKey));
    bool userNamed = FormatBounded(userKey, CountOf(userKey), kUserKeyFormat, extension) >= 0;
    int32_t exist = recordNamed ? ReadSettingInt(HKEY_LOCAL_MACHINE, recordKey, kExist, -1) : -1;
    if (exist != -1) {
        out->record = PreviousRecord::Machine;
        out->existed = exist != 0;
        DecodeDefault(recordKey, out);
        DecodeShellNew(recordKey, out);
        return;
    }
    exist = userNamed ? ReadUserInt(userKey, kExist, -1) : -1;
    if (exist == -1) return;
    // Only without a machine-wide record does anything per-user count, its "New" entry included.
    ReadUserString(userKey, kUserShellNew, L"", out->shellNewText, CountOf(out->shellNewText));
    out->record = PreviousRecord::User;
    out->existed = exist != 0;
    // The user's record was written as text; any other data, or a value that runs something
    // ("PreviousDefault", a "New" command), is never taken from it.
    StoredValue type;
    if (ReadStoredValue(HKEY_CURRENT_USER, userKey, kUserType, &type) && type.type == REG_SZ) {
        CopyString(out->type, AsText(type), CountOf(out->type));
    }
}

bool NextKeptShellNewValue(const PreviousState& state, uint32_t* at, BoundedArray<wchar_t>* name, StoredValue* out) {
    if (!state.shellNewExisted || *at >= state.shellNewList.Count()) return false;
    const wchar_t* start = state.shellNewList.Data() + *at;
    const wchar_t* p = start;
    if (*p == 0 || !DecodeNamedValue(&p, name, out)) return false;
    *at += (uint32_t)(p - start);
    return true;
}

void ForgetPreviousState(const wchar_t* extension) {
    wchar_t key[80];
    if (PreviousStateKey(extension, key, CountOf(key))) DeleteSettingTree(HKEY_LOCAL_MACHINE, key);
}
