// What an extension looked like before the archiver took it over, kept exactly (whether its key
// existed, the registry type and whole data of its default value, every value of its "New"
// entry) where only administrators can write, and putting it back.
#include "integration/integration.h"

#include <string.h>

namespace {

// Machine-wide and by absolute path: what is written back into the machine's classes never
// comes from anything the user, a settings file or another program of the user's can write.
// Kept as text: a value is "<type>,<hex data>", a list of values "<hex name>,<type>,<hex data>;"
// for each, and "none" stands for a value or key that did not exist.
const wchar_t kRecordKeyFormat[] = L"\\Software\\Ombrix\\Previous\\%ls";
const wchar_t kPreviousDefault[] = L"PreviousDefault";
const wchar_t kPreviousShellNew[] = L"PreviousShellNew";
const wchar_t kExist[] = L"Exist";
const wchar_t kNone[] = L"none";

class Text {
public:
    void Append(const wchar_t* text) { AppendChars(text, wcslen(text)); }
    void AppendHex(const BYTE* bytes, size_t count) {
        static const wchar_t kDigits[] = L"0123456789ABCDEF";
        for (size_t i = 0; i < count; i++) {
            wchar_t pair[2] = {kDigits[bytes[i] >> 4], kDigits[bytes[i] & 15]};
            AppendChars(pair, 2);
        }
    }
    void AppendValue(DWORD type, const BYTE* bytes, size_t count) {
        wchar_t number[20];
        Int64ToString(type, number, CountOf(number));
        Append(number);
        Append(L",");
        AppendHex(bytes, count);
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

// Reads hex pairs up to `end` (a NUL, "," or ";"); false on anything else. Two zero bytes stand
// behind the data: the registry reads a string's terminator even where the size leaves it out.
bool ReadHex(const wchar_t** text, BoundedArray<BYTE>* out) {
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

bool ReadType(const wchar_t** text, DWORD* type) {
    const wchar_t* p = *text;
    uint64_t value = 0;
    if (!IsDecimalDigit(*p)) return false;
    while (IsDecimalDigit(*p) && value <= MAXDWORD) value = value * 10 + (DWORD)(*p++ - L'0');
    if (value > MAXDWORD || *p != L',') return false;
    *type = (DWORD)value;
    *text = p + 1;
    return true;
}

// One "<hex name>,<type>,<hex data>;" of a remembered list; false when it does not parse.
bool ReadListItem(const wchar_t** text, BoundedArray<BYTE>* name, DWORD* type, BoundedArray<BYTE>* data) {
    const wchar_t* p = *text;
    if (!ReadHex(&p, name) || *p++ != L',' || !ReadType(&p, type) || !ReadHex(&p, data) || *p++ != L';') return false;
    *text = p;
    return name->Count() % sizeof(wchar_t) == 0;
}

// A list that parses to its end; "none" is one too.
bool IsWholeList(const wchar_t* text) {
    if (wcscmp(text, kNone) == 0) return true;
    BoundedArray<BYTE> name, data;
    DWORD type;
    while (*text != 0) {
        if (!ReadListItem(&text, &name, &type, &data)) return false;
    }
    return true;
}

const wchar_t* AsText(const SettingValue& value) { return reinterpret_cast<const wchar_t*>(value.data.Data()); }

bool IsTextType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// The record's text value; false when it was never written.
bool ReadRecordText(const wchar_t* extension, const wchar_t* name, SettingValue* out) {
    wchar_t key[80];
    return PreviousStateKey(extension, key, CountOf(key)) && ReadSettingValue(HKEY_LOCAL_MACHINE, key, name, out) &&
           IsTextType(out->type);
}

// The remembered default value; false when the record holds none it can read.
bool ReadPreviousDefault(const wchar_t* extension, bool* existed, DWORD* type, BoundedArray<BYTE>* data) {
    SettingValue remembered;
    if (!ReadRecordText(extension, kPreviousDefault, &remembered)) return false;
    const wchar_t* text = AsText(remembered);
    *existed = wcscmp(text, kNone) != 0;
    return !*existed || (ReadType(&text, type) && ReadHex(&text, data) && *text == 0);
}

// The kept "Exist", or -1 when nothing was kept machine-wide.
int32_t RememberedExist(const wchar_t* extension) {
    wchar_t key[80];
    return PreviousStateKey(extension, key, CountOf(key)) ? ReadSettingInt(HKEY_LOCAL_MACHINE, key, kExist, -1) : -1;
}

// The kept default value as text, "" when it was none or not text; false when none was kept.
bool RememberedTypeText(const wchar_t* extension, wchar_t* out, size_t capacity) {
    bool existed = false;
    DWORD type = REG_NONE;
    BoundedArray<BYTE> data;
    if (capacity == 0 || !ReadPreviousDefault(extension, &existed, &type, &data)) return false;
    out[0] = 0;
    if (existed && IsTextType(type)) {
        size_t chars = data.Count() / sizeof(wchar_t);
        if (chars >= capacity) chars = capacity - 1;
        memcpy(out, data.Data(), chars * sizeof(wchar_t));
        out[chars] = 0;
    }
    return true;
}

}  // namespace

bool PreviousStateKey(const wchar_t* extension, wchar_t* out, size_t capacity) {
    return FormatBounded(out, capacity, kRecordKeyFormat, extension) >= 0;
}

bool HasNonEmptyValue(const SettingValue& value) {
    bool text = value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
    return text ? value.bytes >= sizeof(wchar_t) && AsText(value)[0] != 0 : value.bytes > 0;
}

void RememberExactly(const wchar_t* extension, bool existed) {
    wchar_t key[80];
    if (!PreviousStateKey(extension, key, CountOf(key))) return;
    Text previous;
    SettingValue value;
    if (ReadSettingValue(HKEY_CLASSES_ROOT, extension, L"", &value)) {
        previous.AppendValue(value.type, value.data.Data(), value.bytes);
    } else {
        previous.Append(kNone);
    }
    WriteSettingString(HKEY_LOCAL_MACHINE, key, kPreviousDefault, previous.Get());

    wchar_t shellNew[kPathChars];
    if (FormatBounded(shellNew, CountOf(shellNew), L"%ls\\ShellNew", extension) < 0) return;
    Text entry;
    if (!SettingKeyExists(HKEY_CLASSES_ROOT, shellNew)) entry.Append(kNone);
    BoundedArray<wchar_t> name;
    for (DWORD index = 0; ReadSettingValueAt(HKEY_CLASSES_ROOT, shellNew, index, &name, &value); index++) {
        entry.AppendHex(reinterpret_cast<const BYTE*>(name.Data()), wcslen(name.Data()) * sizeof(wchar_t));
        entry.Append(L",");
        entry.AppendValue(value.type, value.data.Data(), value.bytes);
        entry.Append(L";");
    }
    WriteSettingString(HKEY_LOCAL_MACHINE, key, kPreviousShellNew, entry.Get());
    // Last: the record counts once "Exist" stands, so a setup ended midway remembers afresh.
    WriteSettingInt(HKEY_LOCAL_MACHINE, key, kExist, existed ? 1 : 0);
}

bool RestoreDefaultExactly(const wchar_t* extension) {
    bool existed = false;
    DWORD type = REG_NONE;
    BoundedArray<BYTE> data;
    if (!ReadPreviousDefault(extension, &existed, &type, &data)) return false;
    if (!existed) {
        DeleteSettingValue(HKEY_CLASSES_ROOT, extension, L"");
    } else {
        WriteSettingValue(HKEY_CLASSES_ROOT, extension, L"", type, data.Data(), data.Count());
    }
    return true;
}

bool RestoreShellNewExactly(const wchar_t* extension) {
    SettingValue remembered;
    wchar_t key[kPathChars];
    if (!ReadRecordText(extension, kPreviousShellNew, &remembered) ||
        FormatBounded(key, CountOf(key), L"%ls\\ShellNew", extension) < 0)
        return false;
    // A damaged record is put back in no part: the caller falls back to the plain texts.
    if (!IsWholeList(AsText(remembered))) return false;
    // The template entry is the archiver's; whatever the key held before is written back whole,
    // and only then does the template's "FileName" go, unless it was one of them.
    const wchar_t* text = AsText(remembered);
    bool hadFileName = false;
    BoundedArray<BYTE> name, data;
    while (wcscmp(text, kNone) != 0 && *text != 0) {
        DWORD type = REG_NONE;
        if (!ReadListItem(&text, &name, &type, &data)) break;  // checked whole above
        // ReadHex left two zero bytes behind the name: its terminator.
        const wchar_t* valueName = reinterpret_cast<const wchar_t*>(name.Data());
        hadFileName = hadFileName || CompareNoCase(valueName, L"FileName") == 0;
        WriteSettingValue(HKEY_CLASSES_ROOT, key, valueName, type, data.Data(), data.Count());
    }
    if (!hadFileName) DeleteSettingValue(HKEY_CLASSES_ROOT, key, L"FileName");
    // There was no entry: the key that held the template goes too, unless something else lives in it.
    if (wcscmp(AsText(remembered), kNone) == 0) DeleteSettingKeyIfEmpty(HKEY_CLASSES_ROOT, key);
    return true;
}

bool HasMachineRecord(const wchar_t* extension) { return RememberedExist(extension) != -1; }

void ReadPreviousState(const wchar_t* extension, const wchar_t* setupKey, PreviousState* out) {
    out->type[0] = 0;
    out->exist = RememberedExist(extension);
    out->machineWide = out->exist != -1;
    if (out->machineWide) {
        RememberedTypeText(extension, out->type, CountOf(out->type));
        return;
    }
    out->exist = ReadUserInt(setupKey, kExist, -1);
    // The user's record was written as text; any other data, or a value that runs something
    // ("PreviousDefault", a "New" command), is never taken from it.
    SettingValue type;
    if (ReadSettingValue(HKEY_CURRENT_USER, setupKey, L"Type", &type) && type.type == REG_SZ) {
        CopyString(out->type, AsText(type), CountOf(out->type));
    }
}

void ForgetExactly(const wchar_t* extension) {
    wchar_t key[80];
    if (PreviousStateKey(extension, key, CountOf(key))) DeleteSettingTree(HKEY_LOCAL_MACHINE, key);
}
