// What an extension looked like before the archiver took it over, kept exactly (the registry
// type and whole data of its default value, every value of its "New" entry), and putting it back.
#include "integration/integration.h"

#include <string.h>

namespace {

// Kept as text, so that the settings file can hold it as well as the registry: a value is
// "<type>,<hex data>", a list of values "<hex name>,<type>,<hex data>;" for each, and "none"
// stands for a value or key that did not exist.
const wchar_t kPreviousDefault[] = L"PreviousDefault";
const wchar_t kPreviousShellNew[] = L"PreviousShellNew";
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

// Reads hex pairs up to `end` (a NUL, "," or ";"); false on anything else.
bool ReadHex(const wchar_t** text, BoundedArray<BYTE>* out) {
    const wchar_t* p = *text;
    out->Resize(0);
    while (*p != 0 && *p != L',' && *p != L';') {
        int high = HexDigit(p[0]);
        int low = high < 0 ? -1 : HexDigit(p[1]);
        if (low < 0) return false;
        out->Resize(out->Count() + 1);
        (*out)[out->Count() - 1] = (BYTE)(high * 16 + low);
        p += 2;
    }
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

// The remembered text of a value under the user's key; false when it was never written.
bool ReadRemembered(const wchar_t* setupKey, const wchar_t* name, SettingValue* out) {
    return ReadSettingValue(HKEY_CURRENT_USER, setupKey, name, out) && (out->type == REG_SZ || out->type == REG_EXPAND_SZ);
}

const wchar_t* AsText(const SettingValue& value) { return reinterpret_cast<const wchar_t*>(value.data.Data()); }

}  // namespace

bool HasNonEmptyValue(const SettingValue& value) {
    bool text = value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
    return text ? value.bytes >= sizeof(wchar_t) && AsText(value)[0] != 0 : value.bytes > 0;
}

void RememberExactly(const wchar_t* extension, const wchar_t* setupKey) {
    Text previous;
    SettingValue value;
    if (ReadSettingValue(HKEY_CLASSES_ROOT, extension, L"", &value)) {
        previous.AppendValue(value.type, value.data.Data(), value.bytes);
    } else {
        previous.Append(kNone);
    }
    WriteUserString(setupKey, kPreviousDefault, previous.Get());

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
    WriteUserString(setupKey, kPreviousShellNew, entry.Get());
}

bool RestoreDefaultExactly(const wchar_t* extension, const wchar_t* setupKey) {
    SettingValue remembered;
    if (!ReadRemembered(setupKey, kPreviousDefault, &remembered)) return false;
    const wchar_t* text = AsText(remembered);
    if (wcscmp(text, kNone) == 0) {
        DeleteSettingValue(HKEY_CLASSES_ROOT, extension, L"");
        return true;
    }
    DWORD type = REG_NONE;
    BoundedArray<BYTE> data;
    if (!ReadType(&text, &type) || !ReadHex(&text, &data) || *text != 0) return false;
    WriteSettingValue(HKEY_CLASSES_ROOT, extension, L"", type, data.Data(), data.Count());
    return true;
}

bool RestoreShellNewExactly(const wchar_t* extension, const wchar_t* setupKey) {
    SettingValue remembered;
    wchar_t key[kPathChars];
    if (!ReadRemembered(setupKey, kPreviousShellNew, &remembered) ||
        FormatBounded(key, CountOf(key), L"%ls\\ShellNew", extension) < 0)
        return false;
    // A damaged record is put back in no part: the caller falls back to the plain texts.
    if (!IsWholeList(AsText(remembered))) return false;
    // The template entry is the archiver's; whatever the key held before is written back whole.
    DeleteSettingValue(HKEY_CLASSES_ROOT, key, L"FileName");
    const wchar_t* text = AsText(remembered);
    if (wcscmp(text, kNone) == 0) {
        DeleteSettingKeyIfEmpty(HKEY_CLASSES_ROOT, key);
        return true;
    }
    BoundedArray<BYTE> name, data;
    while (*text != 0) {
        DWORD type = REG_NONE;
        if (!ReadListItem(&text, &name, &type, &data)) return true;  // checked whole above
        name.Resize(name.Count() + sizeof(wchar_t));
        name[name.Count() - 1] = name[name.Count() - 2] = 0;
        WriteSettingValue(HKEY_CLASSES_ROOT, key, reinterpret_cast<const wchar_t*>(name.Data()), type, data.Data(),
                          data.Count());
    }
    return true;
}
