// The settings store: every registry read, write and deletion, served by the settings file,
// suppressed by its Integration switch, or passed to the registry in the chosen view.
#include "settings.h"

#include <string.h>

namespace {

// What the program registers it registers for every user, and what it reads as "what the machine
// had" is the machine's: so the classes are the machine's own by name. HKEY_CLASSES_ROOT would
// merge in the running user's classes, which win there, so an elevated run would read what the
// user wrote and write where only that user sees it.
const wchar_t kMachineClasses[] = L"Software\\Classes";

// The registry view (SetRegistryView) of reads, key tests, writes and DeleteSettingKey; value
// deletions and the key-tree removal work in the default view.
REGSAM g_view = 0;
// How many more registry changes may be made; -1: no limit (a test's stand-in for a kill).
int32_t g_changesLeft = -1;

// Owns one open registry key for the length of an operation.
const wchar_t* OrEmpty(const wchar_t* text) { return text != nullptr ? text : L""; }

// A missing default is the empty text.
void CopyDefault(wchar_t* out, const wchar_t* defaultText, size_t capacity) {
    CopyString(out, OrEmpty(defaultText), capacity);
}

// The log's names: "HKLM\<path>", and the view the change went to.
const wchar_t* RootName(HKEY root) {
    return root == HKEY_LOCAL_MACHINE ? L"HKLM" : root == HKEY_CURRENT_USER ? L"HKCU" : L"HKEY";
}
const wchar_t* ViewName(REGSAM view) {
    return view == KEY_WOW64_64KEY ? L" (64-bit view)" : view == KEY_WOW64_32KEY ? L" (32-bit view)" : L"";
}

}  // namespace

int32_t SetChangeLimit(int32_t changes) {
    int32_t left = g_changesLeft;
    g_changesLeft = changes;
    return left;
}

bool MayChangeRegistry() {
    if (g_changesLeft < 0) return true;
    if (g_changesLeft == 0) return false;
    --g_changesLeft;
    return true;
}

SettingsRoute RouteSettingRequest(HKEY root, const wchar_t* keyPath) {
    if (SettingsFileServes(root, keyPath)) return SettingsRoute::File;
    if (!IsIntegrationEnabled()) return SettingsRoute::Suppressed;
    return SettingsRoute::Registry;
}

void LogKeyDeletion(HKEY root, const wchar_t* path, REGSAM view, LONG status) {
    LogEvent(L"registry: deleted key %ls\\%ls%ls; result %ld%ls", RootName(root), path, ViewName(view), (long)status,
             status != ERROR_SUCCESS ? L" (no change)" : L"");
}

HKEY RegistryRoot(HKEY root) { return root == HKEY_CLASSES_ROOT ? HKEY_LOCAL_MACHINE : root; }

bool ComposeRegistryPath(HKEY root, const wchar_t* keyPath, wchar_t* out, size_t size) {
    keyPath = OrEmpty(keyPath);
    bool fits;
    if (root == HKEY_CURRENT_USER || root == HKEY_LOCAL_MACHINE) {
        if (keyPath[0] == L'\\') {
            fits = wcslen(keyPath + 1) < size;
            if (fits) CopyString(out, keyPath + 1, size);
        } else {
            fits = FormatBounded(out, size, L"Software\\Ombrix%ls%ls", keyPath[0] != 0 ? L"\\" : L"",
                                 keyPath) >= 0;
        }
    } else if (root == HKEY_CLASSES_ROOT) {
        // Never the root of the classes itself.
        fits = keyPath[0] != 0 && FormatBounded(out, size, L"%ls\\%ls", kMachineClasses, keyPath) >= 0;
    } else {
        fits = wcslen(keyPath) < size;
        if (fits) CopyString(out, keyPath, size);
    }
    if (!fits && size > 0) out[0] = 0;
    return fits;
}

namespace {

// Reads look in the selected registry view; a path that does not fit opens nothing.
bool OpenForReading(HKEY root, const wchar_t* keyPath, ScopedRegKey* key) {
    wchar_t path[kRegPathChars];
    return ComposeRegistryPath(root, keyPath, path, CountOf(path)) &&
           RegOpenKeyExW(RegistryRoot(root), path, 0, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | g_view, key->Receive()) ==
               ERROR_SUCCESS;
}

// The settings-file entry of a request; nullptr when there is none or its name does not fit.
const wchar_t* FindEntry(HKEY root, const wchar_t* keyPath, const wchar_t* valueName) {
    wchar_t name[kTextChars];
    return ComposeEntryName(root, keyPath, valueName, name, CountOf(name)) ? FindSettingsEntry(name) : nullptr;
}

bool RegistryKeyExists(HKEY root, const wchar_t* keyPath) {
    wchar_t path[kRegPathChars];
    if (!ComposeRegistryPath(root, keyPath, path, CountOf(path))) return false;
    ScopedRegKey key;
    // Asked in the view that the reads and the key deletions use, or the answer is about another key.
    return RegOpenKeyExW(RegistryRoot(root), path, 0, KEY_QUERY_VALUE | g_view, key.Receive()) == ERROR_SUCCESS;
}

void DeleteRegistryKeyIfEmpty(HKEY root, const wchar_t* keyPath) {
    wchar_t path[kRegPathChars];
    if (!ComposeRegistryPath(root, keyPath, path, CountOf(path))) return;
    DWORD values = 1, subkeys = 1;
    {
        ScopedRegKey key;
        // Asked in the view the deletion below works in, or another key's contents decide.
        if (RegOpenKeyExW(RegistryRoot(root), path, 0, KEY_QUERY_VALUE | g_view, key.Receive()) != ERROR_SUCCESS) return;
        if (RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                             nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return;
    }
    if (values == 0 && subkeys == 0) DeleteSettingKey(root, keyPath);
}

bool ReadRegistryString(HKEY root, const wchar_t* keyPath, const wchar_t* valueName, const wchar_t* defaultText,
                        wchar_t* out, size_t capacity) {
    ScopedRegKey key;
    if (!OpenForReading(root, keyPath, &key)) {
        CopyDefault(out, defaultText, capacity);
        return false;
    }
    const size_t maxChars = MAXDWORD / sizeof(wchar_t);
    DWORD bytes = (DWORD)((capacity < maxChars ? capacity : maxChars) * sizeof(wchar_t));
    if (RegQueryValueExW(key.Get(), OrEmpty(valueName), nullptr, nullptr, reinterpret_cast<BYTE*>(out),
                         &bytes) != ERROR_SUCCESS) {
        CopyDefault(out, defaultText, capacity);
        return false;
    }
    // The stored text need not carry its terminator.
    size_t end = bytes / sizeof(wchar_t);
    out[end < capacity - 1 ? end : capacity - 1] = 0;
    return true;
}

int32_t ReadRegistryInt(HKEY root, const wchar_t* keyPath, const wchar_t* valueName, int32_t defaultValue) {
    ScopedRegKey key;
    if (!OpenForReading(root, keyPath, &key)) return defaultValue;
    // A shorter value replaces only the low-order bytes of the default, as the registry wrote them.
    DWORD data = (DWORD)defaultValue;
    DWORD size = sizeof(data);
    if (RegQueryValueExW(key.Get(), OrEmpty(valueName), nullptr, nullptr, reinterpret_cast<BYTE*>(&data),
                         &size) != ERROR_SUCCESS ||
        size == 0) {
        return defaultValue;
    }
    return (int32_t)data;
}

}  // namespace

bool SettingKeyExists(HKEY root, const wchar_t* keyPath) {
    return OnRoute(
        root, keyPath, [&] { return SettingsKeyHasEntries(root, keyPath); }, [] { return false; },
        [&] { return RegistryKeyExists(root, keyPath); });
}

void DeleteSettingKeyIfEmpty(HKEY root, const wchar_t* keyPath) {
    OnRoute(
        root, keyPath, [] {}, [] {}, [&] { DeleteRegistryKeyIfEmpty(root, keyPath); });
}

bool ReadSettingString(HKEY root, const wchar_t* keyPath, const wchar_t* valueName, const wchar_t* defaultText,
                       wchar_t* out, size_t capacity) {
    // Every route starts from the default; no room at all holds nothing.
    auto startFromDefault = [&] {
        if (capacity != 0) CopyDefault(out, defaultText, capacity);
        return capacity != 0;
    };
    return OnRoute(
        root, keyPath,
        [&] {
            if (!startFromDefault()) return false;
            wchar_t name[kTextChars];
            if (!ComposeEntryName(root, keyPath, valueName, name, CountOf(name))) return false;
            const wchar_t* text = FindSettingsEntry(name);
            if (text != nullptr) CopyString(out, text, capacity);
            return true;
        },
        [&] { return startFromDefault(); },
        [&] { return startFromDefault() && ReadRegistryString(root, keyPath, valueName, defaultText, out, capacity); });
}

int32_t ReadSettingInt(HKEY root, const wchar_t* keyPath, const wchar_t* valueName, int32_t defaultValue) {
    return OnRoute(
        root, keyPath,
        [&] {
            const wchar_t* text = FindEntry(root, keyPath, valueName);
            return text != nullptr ? (int32_t)(uint32_t)StringToInt64(text) : defaultValue;
        },
        [&] { return defaultValue; }, [&] { return ReadRegistryInt(root, keyPath, valueName, defaultValue); });
}

namespace {

bool QueryWhole(HKEY key, const wchar_t* valueName, DWORD index, BoundedArray<wchar_t>* name, StoredValue* out);

// A value as it stands, for the log; false when there is none.
bool ValueNow(HKEY root, const wchar_t* path, const wchar_t* valueName, REGSAM view, StoredValue* out) {
    ScopedRegKey key;
    return RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE | view, key.Receive()) == ERROR_SUCCESS &&
           QueryWhole(key.Get(), valueName, 0, nullptr, out);
}

// "REG_SZ 16 bytes", or "none".
void DescribeValue(bool exists, DWORD type, DWORD bytes, wchar_t* out, size_t capacity) {
    static const wchar_t* const kTypes[] = {L"REG_NONE", L"REG_SZ", L"REG_EXPAND_SZ", L"REG_BINARY", L"REG_DWORD",
                                            L"REG_DWORD_BIG_ENDIAN", L"REG_LINK", L"REG_MULTI_SZ"};
    if (!exists) {
        CopyString(out, L"none", capacity);
    } else if (type < CountOf(kTypes)) {
        FormatBounded(out, capacity, L"%ls %lu bytes", kTypes[type], (unsigned long)bytes);
    } else {
        FormatBounded(out, capacity, L"type %lu %lu bytes", (unsigned long)type, (unsigned long)bytes);
    }
}

// One line for a value written or deleted: what it is now, what it was, and the call's result. A
// change that left everything as it was says so.
void LogValueChange(const wchar_t* verb, HKEY root, const wchar_t* path, const wchar_t* valueName, REGSAM view,
                    bool existed, const StoredValue& before, bool exists, DWORD type, const void* data, DWORD bytes,
                    LONG status) {
    wchar_t was[64], now[64];
    DescribeValue(existed, before.type, before.bytes, was, CountOf(was));
    DescribeValue(exists, type, bytes, now, CountOf(now));
    bool same = existed == exists && (!exists || (before.type == type && before.bytes == bytes &&
                                                  (bytes == 0 || memcmp(before.data.Data(), data, bytes) == 0)));
    LogEvent(L"registry: %ls %ls\\%ls|%ls%ls: %ls, was %ls; result %ld%ls", verb, RootName(root), path,
             OrEmpty(valueName), ViewName(view), now, was, (long)status,
             status != ERROR_SUCCESS || same ? L" (no change)" : L"");
}

LONG CreateKey(HKEY root, const wchar_t* path, ScopedRegKey* key) {
    DWORD disposition = 0;
    LONG status = RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE | g_view, nullptr,
                                  key->Receive(), &disposition);
    if (status == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY)
        LogEvent(L"registry: created key %ls\\%ls%ls", RootName(root), path, ViewName(g_view));
    return status;
}

LONG WriteRegistryValue(HKEY root, const wchar_t* keyPath, const wchar_t* valueName, DWORD type, const void* data,
                        DWORD bytes) {
    wchar_t path[kRegPathChars];
    if (!ComposeRegistryPath(root, keyPath, path, CountOf(path))) return ERROR_FILENAME_EXCED_RANGE;
    if (!MayChangeRegistry()) return ERROR_CANCELLED;
    root = RegistryRoot(root);
    StoredValue before;
    bool existed = IsLogging() && ValueNow(root, path, valueName, g_view, &before);
    ScopedRegKey key;
    LONG status = CreateKey(root, path, &key);
    if (status == ERROR_SUCCESS)
        status = RegSetValueExW(key.Get(), OrEmpty(valueName), 0, type, static_cast<const BYTE*>(data), bytes);
    if (IsLogging()) LogValueChange(L"set", root, path, valueName, g_view, existed, before, true, type, data, bytes, status);
    return status;
}

// Stores one value on the route that serves it: as a settings-file entry with the given
// text and kind, or as registry data of the given type.
LONG WriteValue(HKEY root, const wchar_t* keyPath, const wchar_t* valueName, const wchar_t* fileText,
                int fileKind, DWORD type, const void* data, DWORD bytes) {
    return OnRoute(
        root, keyPath,
        [&]() -> LONG {
            wchar_t name[kTextChars];
            // The settings file holds text; data it cannot hold as such is refused, not bent.
            if (fileText == nullptr) return ERROR_NOT_SUPPORTED;
            if (!ComposeEntryName(root, keyPath, valueName, name, CountOf(name))) return ERROR_BUFFER_OVERFLOW;
            return SetSettingsEntry(name, fileText, fileKind) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
        },
        []() -> LONG { return ERROR_SUCCESS; },
        [&] { return WriteRegistryValue(root, keyPath, valueName, type, data, bytes); });
}

}  // namespace

LONG WriteSettingString(HKEY root, const wchar_t* keyPath, const wchar_t* valueName, const wchar_t* text) {
    text = OrEmpty(text);
    DWORD bytes = (DWORD)((wcslen(text) + 1) * sizeof(wchar_t));
    return WriteValue(root, keyPath, valueName, text, kEntryQuoted, REG_SZ, text, bytes);
}

LONG WriteSettingInt(HKEY root, const wchar_t* keyPath, const wchar_t* valueName, int32_t value) {
    wchar_t text[20];
    Int64ToString((uint32_t)value, text, CountOf(text));
    DWORD data = (DWORD)value;
    return WriteValue(root, keyPath, valueName, text, kEntryBare, REG_DWORD, &data, sizeof(data));
}

LONG CreateSettingKey(HKEY root, const wchar_t* keyPath) {
    // The settings file has no keys of their own: a key there is the entries named under it.
    return OnRoute(
        root, keyPath, []() -> LONG { return ERROR_SUCCESS; }, []() -> LONG { return ERROR_SUCCESS; },
        [&]() -> LONG {
            wchar_t path[kRegPathChars];
            if (!ComposeRegistryPath(root, keyPath, path, CountOf(path))) return ERROR_FILENAME_EXCED_RANGE;
            if (!MayChangeRegistry()) return ERROR_CANCELLED;
            ScopedRegKey key;
            return CreateKey(RegistryRoot(root), path, &key);
        });
}

LONG WriteStoredValue(HKEY root, const wchar_t* keyPath, const wchar_t* valueName, const StoredValue& value) {
    // The registry adds a terminator to text whose size leaves it out when a NUL stands behind
    // the data; behind a copy stands none, so the value keeps its stored size.
    BoundedArray<BYTE> copy;
    copy.Resize(value.bytes + 2 * sizeof(wchar_t));
    if (value.bytes != 0) memcpy(copy.Data(), value.data.Data(), value.bytes);
    memset(copy.Data() + value.bytes, 0xFF, 2 * sizeof(wchar_t));
    return WriteValue(root, keyPath, valueName, nullptr, kEntryQuoted, value.type, copy.Data(), value.bytes);
}

namespace {

// Reads one value whole from an open key: by name, or the index-th value with its name.
bool QueryWhole(HKEY key, const wchar_t* valueName, DWORD index, BoundedArray<wchar_t>* name, StoredValue* out) {
    DWORD nameChars = 0, dataBytes = 0;
    // Another program may grow the value between asking its size and reading it; a few rounds
    // catch up with any ordinary writer, and one that never stops growing gets no answer.
    for (int attempt = 0; attempt < 4; attempt++) {
        if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &nameChars,
                             &dataBytes, nullptr, nullptr) != ERROR_SUCCESS)
            return false;
        // Room for a terminator the data may lack, at a whole character also after an odd size,
        // so that text can be read from it safely.
        out->data.Resize(dataBytes + 2 * sizeof(wchar_t));
        DWORD bytes = dataBytes, type = REG_NONE;
        LONG status;
        if (name == nullptr) {
            status = RegQueryValueExW(key, OrEmpty(valueName), nullptr, &type, out->data.Data(), &bytes);
        } else {
            name->Resize(nameChars + 1);
            DWORD chars = nameChars + 1;
            status = RegEnumValueW(key, index, name->Data(), &chars, nullptr, &type, out->data.Data(), &bytes);
            if (status == ERROR_SUCCESS) (*name)[chars < nameChars + 1 ? chars : nameChars] = 0;
        }
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) return false;
        out->type = type;
        out->bytes = bytes;
        out->data[bytes] = out->data[bytes + 1] = out->data[bytes + 2] = 0;
        return true;
    }
    return false;
}

void DeleteRegistryValue(HKEY root, const wchar_t* keyPath, const wchar_t* valueName) {
    wchar_t path[kRegPathChars];
    if (!ComposeRegistryPath(root, keyPath, path, CountOf(path))) return;
    ScopedRegKey key;
    root = RegistryRoot(root);
    if (RegOpenKeyExW(root, path, 0, KEY_WRITE, key.Receive()) != ERROR_SUCCESS || !MayChangeRegistry()) return;
    StoredValue before;
    bool existed = IsLogging() && ValueNow(root, path, valueName, 0, &before);
    LONG status = RegDeleteValueW(key.Get(), OrEmpty(valueName));
    if (IsLogging()) LogValueChange(L"deleted", root, path, valueName, 0, existed, before, false, 0, nullptr, 0, status);
}

void DeleteRegistryKey(HKEY root, const wchar_t* keyPath) {
    wchar_t path[kRegPathChars];
    // An empty path would name the root itself.
    if (!ComposeRegistryPath(root, keyPath, path, CountOf(path)) || path[0] == 0 || !MayChangeRegistry()) return;
    root = RegistryRoot(root);
    LONG status = g_view != 0 ? RegDeleteKeyExW(root, path, g_view, 0) : RegDeleteKeyW(root, path);
    LogKeyDeletion(root, path, g_view, status);
}

}  // namespace

bool StoredValueFromText(const wchar_t* text, StoredValue* out) {
    if (text == nullptr) return false;
    size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    if (bytes > MAXDWORD - sizeof(wchar_t)) return false;
    out->data.Resize((uint32_t)bytes + sizeof(wchar_t));
    memcpy(out->data.Data(), text, bytes);
    out->data[(uint32_t)bytes] = out->data[(uint32_t)bytes + 1] = 0;
    out->type = REG_SZ;
    out->bytes = (DWORD)bytes;
    return true;
}

bool ReadStoredValue(HKEY root, const wchar_t* keyPath, const wchar_t* valueName, StoredValue* out) {
    return OnRoute(
        root, keyPath, [&] { return StoredValueFromText(FindEntry(root, keyPath, valueName), out); }, [] { return false; },
        [&] {
            ScopedRegKey key;
            return OpenForReading(root, keyPath, &key) && QueryWhole(key.Get(), valueName, 0, nullptr, out);
        });
}

bool ReadStoredValueAt(HKEY root, const wchar_t* keyPath, DWORD index, BoundedArray<wchar_t>* name,
                        StoredValue* out) {
    // The settings file lists no values of a key.
    return OnRoute(
        root, keyPath, [] { return false; }, [] { return false; },
        [&] {
            ScopedRegKey key;
            return OpenForReading(root, keyPath, &key) && QueryWhole(key.Get(), nullptr, index, name, out);
        });
}

void DeleteSettingValue(HKEY root, const wchar_t* keyPath, const wchar_t* valueName) {
    OnRoute(
        root, keyPath,
        [&] {
            wchar_t name[kTextChars];
            if (ComposeEntryName(root, keyPath, valueName, name, CountOf(name))) RemoveSettingsEntries(name);
        },
        [] {}, [&] { DeleteRegistryValue(root, keyPath, valueName); });
}

void DeleteSettingKey(HKEY root, const wchar_t* keyPath) {
    OnRoute(
        root, keyPath, [&] { RemoveSettingsKey(root, keyPath); }, [] {}, [&] { DeleteRegistryKey(root, keyPath); });
}

bool ReadUserString(const wchar_t* keyPath, const wchar_t* valueName, const wchar_t* defaultText, wchar_t* out,
                    size_t capacity) {
    return ReadSettingString(HKEY_CURRENT_USER, keyPath, valueName, defaultText, out, capacity);
}

int32_t ReadUserInt(const wchar_t* keyPath, const wchar_t* valueName, int32_t defaultValue) {
    return ReadSettingInt(HKEY_CURRENT_USER, keyPath, valueName, defaultValue);
}

LONG WriteUserString(const wchar_t* keyPath, const wchar_t* valueName, const wchar_t* text) {
    return WriteSettingString(HKEY_CURRENT_USER, keyPath, valueName, text);
}

LONG WriteUserInt(const wchar_t* keyPath, const wchar_t* valueName, int32_t value) {
    return WriteSettingInt(HKEY_CURRENT_USER, keyPath, valueName, value);
}

void DeleteUserValue(const wchar_t* keyPath, const wchar_t* valueName) {
    DeleteSettingValue(HKEY_CURRENT_USER, keyPath, valueName);
}

void SetRegistryView(REGSAM view) { g_view = view; }

// Asks the switch as it stands; never loads the settings file.
bool IsIntegrationEnabled() { return SettingsFileIntegration(); }
