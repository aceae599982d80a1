// The settings file Ombrix.ini: finding and parsing it, its entries in memory, and writing it back.
#include "settings.h"

#include <stdlib.h>
#include <string.h>

namespace {

struct SettingsEntry {
    wchar_t* name;
    wchar_t* text;
    int kind;
    SettingsEntry* next;
};

const wchar_t kFileName[] = L"Ombrix.ini";

wchar_t g_filePath[kPathChars];
bool g_loaded = false;
bool g_attempted = false;
// The entries in file order; new ones go behind the last.
SettingsEntry* g_first = nullptr;
SettingsEntry** g_tail = &g_first;
bool g_appData = true;
bool g_integration = true;
bool g_saveSettings = true;

void FreeEntry(SettingsEntry* entry) {
    free(entry->name);
    free(entry->text);
    free(entry);
}

void AppendEntry(const wchar_t* name, size_t nameLength, const wchar_t* text, size_t textLength, int kind) {
    SettingsEntry* entry = static_cast<SettingsEntry*>(calloc(1, sizeof(SettingsEntry)));
    if (entry == nullptr) g_errors.ReportMemoryError();
    try {
        entry->name = CopyToHeap(name, nameLength);
        entry->text = CopyToHeap(text, textLength);
    } catch (...) {
        FreeEntry(entry);
        throw;
    }
    entry->kind = kind;
    *g_tail = entry;
    g_tail = &entry->next;
}

bool StartsWith(const wchar_t* text, const wchar_t* prefix, size_t prefixLength) {
    return wcsncmp(text, prefix, prefixLength) == 0;
}

// Unlinks every entry whose name matches, exactly or by prefix.
void RemoveMatching(const wchar_t* name, bool byPrefix) {
    size_t length = wcslen(name);
    SettingsEntry** link = &g_first;
    while (*link != nullptr) {
        SettingsEntry* entry = *link;
        bool match = byPrefix ? StartsWith(entry->name, name, length) : wcscmp(entry->name, name) == 0;
        if (match) {
            *link = entry->next;
            FreeEntry(entry);
        } else {
            link = &entry->next;
        }
    }
    g_tail = link;
}

// A line is an entry when it starts with an ASCII letter and holds a '='.
void ParseLine(const wchar_t* line) {
    if (!IsAsciiLetter(line[0])) return;
    const wchar_t* equals = wcschr(line, L'=');
    if (equals == nullptr) return;
    const wchar_t* value = equals + 1;
    size_t valueLength = wcslen(value);
    int kind = kEntryBare;
    if (value[0] == L'"') {
        kind = kEntryQuoted;
        ++value;
        --valueLength;
        if (valueLength > 0 && value[valueLength - 1] == L'"') --valueLength;
    } else if (StartsWith(value, L"bin:", 4)) {
        kind = kEntryBinary;
        value += 4;
        valueLength -= 4;
    }
    AppendEntry(line, (size_t)(equals - line), value, valueLength, kind);
}

bool ReadSwitch(const wchar_t* name) {
    const wchar_t* text = FindSettingsEntry(name);
    int64_t value = text != nullptr ? StringToInt64(text) : 1;
    return (uint32_t)value != 0;
}

void WriteSwitch(const wchar_t* name, bool on) { SetSettingsEntry(name, on ? L"1" : L"0", kEntryBare); }

// Names the settings file: the one beside the program, which travels with it, else the one in the
// settings folder. That folder is never the configured one here: the setting that names it is
// read through this very file. False when there is none. A path whose name part came out cut
// would be some other file.
bool FindSettingsFile(wchar_t* path, size_t size) {
    if (ProgramPath(path, size)) {
        ReplaceNamePart(path, kFileName, size);
        if (wcscmp(NamePart(path), kFileName) == 0 && PathExists(path)) return true;
    }
    if (!SettingsFolder(ConfiguredFolder::NotAsked, path, size)) return false;
    JoinPath(path, kFileName, path, size);
    return wcscmp(NamePart(path), kFileName) == 0 && PathExists(path);
}

// False when the file was found but not read to its end.
bool ReadSettingsFile() {
    StringList lines;
    bool readToEnd = false;
    if (!ReadTextFile(g_filePath, &lines, &readToEnd)) {
        g_filePath[0] = 0;
        return true;
    }
    const wchar_t* line;
    while (lines.GetString(&line)) ParseLine(line);
    lines.Clear();
    g_loaded = true;
    g_appData = ReadSwitch(L"Global\\AppData");
    g_integration = ReadSwitch(L"Global\\Integration");
    g_saveSettings = ReadSwitch(L"Global\\SaveSettings");
    WriteSwitch(L"Global\\AppData", g_appData);
    WriteSwitch(L"Global\\Integration", g_integration);
    WriteSwitch(L"Global\\SaveSettings", g_saveSettings);
    return readToEnd;
}

// After a load that ran out of memory, or a file not read to its end, the entries are
// incomplete: the file stays in use as read, but it is never written back (that would replace it
// with the part that was read). Only a switch that was read turns the registry off: turned off
// for what might have stood in the rest, setup would register nothing and the uninstall remove
// nothing, while both report success.
void KeepIncompleteLoad() {
    g_loaded = true;
    g_saveSettings = false;
    g_integration = ReadSwitch(L"Global\\Integration");
}

// The file's text goes out in blocks; a failed write spoils the whole save.
class EntryWriter {
public:
    explicit EntryWriter(FileObject* file) : file_(file) {}
    void Put(const wchar_t* text) { Put(text, wcslen(text)); }
    void Put(const wchar_t* text, size_t length) {
        while (length > 0) {
            if (used_ == CountOf(buffer_)) Flush();
            size_t room = CountOf(buffer_) - used_;
            size_t n = length < room ? length : room;
            memcpy(buffer_ + used_, text, n * sizeof(wchar_t));
            used_ += n;
            text += n;
            length -= n;
        }
    }
    bool Flush() {
        if (used_ > 0 && ok_) ok_ = file_->Write(buffer_, (int)(used_ * sizeof(wchar_t)));
        used_ = 0;
        return ok_;
    }

private:
    FileObject* file_;
    wchar_t buffer_[4096];
    size_t used_ = 0;
    bool ok_ = true;
};

struct SortItem {
    const SettingsEntry* entry;
    uint32_t order;
};

int CompareCodeUnits(const wchar_t* a, const wchar_t* b) {
    for (;; ++a, ++b) {
        uint16_t x = (uint16_t)*a;
        uint16_t y = (uint16_t)*b;
        if (x != y) return x < y ? -1 : 1;
        if (x == 0) return 0;
    }
}

// By name; entries of equal names keep their file order, so lookups find the same one later.
int CompareItems(const void* a, const void* b) {
    const SortItem* x = static_cast<const SortItem*>(a);
    const SortItem* y = static_cast<const SortItem*>(b);
    int result = CompareCodeUnits(x->entry->name, y->entry->name);
    if (result != 0) return result;
    return x->order < y->order ? -1 : (x->order > y->order ? 1 : 0);
}

bool WriteEntries(FileObject* file) {
    BoundedArray<SortItem> items;
    uint32_t count = 0;
    for (const SettingsEntry* entry = g_first; entry != nullptr; entry = entry->next) {
        items.Add(1);
        items[count].entry = entry;
        items[count].order = count;
        ++count;
    }
    SortArray(items.Data(), count, sizeof(SortItem), CompareItems);

    EntryWriter writer(file);
    const wchar_t byteOrderMark[] = {0xFEFF, 0};
    writer.Put(byteOrderMark);
    for (uint32_t i = 0; i < count; ++i) {
        const SettingsEntry* entry = items[i].entry;
        writer.Put(entry->name);
        writer.Put(L"=");
        if (entry->kind == kEntryQuoted) writer.Put(L"\"");
        if (entry->kind == kEntryBinary) writer.Put(L"bin:");
        writer.Put(entry->text);
        if (entry->kind == kEntryQuoted) writer.Put(L"\"");
        writer.Put(L"\r\n");
    }
    return writer.Flush();
}

// ReplaceFileW keeps the old file's attributes, security and streams on the new content.
bool ReplaceWithNew(const wchar_t* from, const wchar_t* to) {
    return TryWithLongPaths(from, to, [](const wchar_t* source, const wchar_t* target) {
        return ReplaceFileW(target, source, nullptr, 0, nullptr, nullptr) != 0;
    });
}

bool MoveOver(const wchar_t* from, const wchar_t* to) {
    return TryWithLongPaths(from, to, [](const wchar_t* source, const wchar_t* target) {
        return MoveFileExW(source, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    });
}

// Writes the entries over the file itself, for where no new file can take its place.
bool RewriteInPlace() {
    FileObject file;
    // Checked again on the open file: a link may have taken the name since.
    if (!file.Open(g_filePath, kOpenWrite) || !IsSoleFileAt(file.Handle(), g_filePath)) return false;
    bool written = WriteEntries(&file) && SetEndOfFile(file.Handle()) && FlushFileBuffers(file.Handle());
    return file.Close() && written;
}

}  // namespace

void LoadSettingsFile() {
    if (g_loaded || g_attempted) return;
    g_attempted = true;
    g_filePath[0] = 0;
    if (!FindSettingsFile(g_filePath, CountOf(g_filePath))) {
        g_filePath[0] = 0;
        return;
    }
    try {
        if (!ReadSettingsFile()) KeepIncompleteLoad();
    } catch (KVA_EXIT) {
        // The reporter recorded the memory error before it threw.
        KeepIncompleteLoad();
    } catch (...) {
        try {
            g_errors.ReportMemoryError();
        } catch (...) {
        }
        KeepIncompleteLoad();
    }
}

bool SaveSettingsFile() {
    if (!g_loaded || !g_saveSettings) return false;
    // A file that was removed since it was read (the uninstall deletes it with the program's
    // files) is not brought back: that would keep the emptied program folder alive.
    DWORD attributes = GetPathAttributes(g_filePath);
    if (attributes == INVALID_FILE_ATTRIBUTES || IsFolderAttr(attributes)) return false;
    // A link, or a file with another name elsewhere, would carry the entries into a file that is
    // not the settings file: such a file is used as it is and never rewritten.
    if (!IsSoleFileAt(g_filePath)) return false;
    // The new content is written completely beside the old file and replaces it only then, so
    // a failure at any step leaves the old file as it was.
    wchar_t tempPath[kPathChars];
    if (FormatBounded(tempPath, CountOf(tempPath), L"%ls.%lu.tmp", g_filePath, GetCurrentProcessId()) < 0) {
        return RewriteInPlace();
    }
    FileObject file;
    // Where nothing can be made beside it, the file may still be writable itself.
    if (!file.Create(tempPath, kCreateShareRead | kOpenWrite)) return RewriteInPlace();
    // An unclosed created file is deleted with the object.
    if (!WriteEntries(&file) || !FlushFileBuffers(file.Handle())) return false;
    if (!file.Close()) {
        RemoveFile(tempPath);
        return false;
    }
    if (ReplaceWithNew(tempPath, g_filePath)) {
        // Where the system's replacement dropped them, the old attributes are put back.
        const DWORD kKept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                            FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
        DWORD now = GetPathAttributes(g_filePath);
        if (now != INVALID_FILE_ATTRIBUTES && (now & kKept) != (attributes & kKept)) {
            DWORD wanted = (now & ~kKept) | (attributes & kKept);
            SetFileAttributesW(g_filePath, wanted != 0 ? wanted : FILE_ATTRIBUTE_NORMAL);
        }
        return true;
    }
    // A replacement that failed half way has removed the old file: the new one takes its name.
    if (!PathExists(g_filePath)) return MoveOver(tempPath, g_filePath);
    RemoveFile(tempPath);
    return RewriteInPlace();
}

void ClearSettingsFile() {
    while (g_first != nullptr) {
        SettingsEntry* next = g_first->next;
        FreeEntry(g_first);
        g_first = next;
    }
    g_tail = &g_first;
    g_filePath[0] = 0;
    g_loaded = false;
    g_attempted = false;
    g_appData = true;
    g_integration = true;
    g_saveSettings = true;
}

bool SettingsFileServes(HKEY root, const wchar_t* keyPath) {
    LoadSettingsFile();
    if (!g_loaded) return false;
    if (root != HKEY_NULL_ROOT && root != HKEY_CURRENT_USER && root != HKEY_LOCAL_MACHINE) return false;
    return keyPath == nullptr || keyPath[0] != L'\\';
}

bool SettingsFileIntegration() { return g_integration; }

bool SettingsFileToUse(wchar_t* path, size_t size) { return FindSettingsFile(path, size); }

bool ComposeEntryName(HKEY root, const wchar_t* keyPath, const wchar_t* valueName, wchar_t* out, size_t size) {
    if (size == 0) return false;
    size_t length = 0;
    out[0] = 0;
    auto append = [&](const wchar_t* text) {
        size_t n = wcslen(text);
        if (length + n >= size) return false;
        memcpy(out + length, text, n * sizeof(wchar_t));
        length += n;
        out[length] = 0;
        return true;
    };
    const wchar_t* rootPrefix = L"";
    if (root == HKEY_CURRENT_USER) rootPrefix = L"HKCU\\";
    if (root == HKEY_LOCAL_MACHINE) rootPrefix = L"HKLM\\";
    bool fits = append(rootPrefix) && append(keyPath != nullptr ? keyPath : L"");
    if (fits && length > 0 && out[length - 1] != L'\\') fits = append(L"\\");
    if (fits) fits = append(valueName != nullptr ? valueName : L"");
    if (!fits) out[0] = 0;
    return fits;
}

const wchar_t* FindSettingsEntry(const wchar_t* name) {
    for (const SettingsEntry* entry = g_first; entry != nullptr; entry = entry->next) {
        if (wcscmp(entry->name, name) == 0) return entry->text;
    }
    return nullptr;
}

bool SetSettingsEntry(const wchar_t* name, const wchar_t* text, int kind) {
    // A line break, or a '=' in the name, would come back from the file as other entries.
    if (wcspbrk(name, L"=\r\n") != nullptr || wcspbrk(text, L"\r\n") != nullptr) return false;
    for (SettingsEntry* entry = g_first; entry != nullptr; entry = entry->next) {
        if (wcscmp(entry->name, name) == 0) {
            wchar_t* copy = CopyToHeap(text, wcslen(text));
            free(entry->text);
            entry->text = copy;
            entry->kind = kind;
            return true;
        }
    }
    AppendEntry(name, wcslen(name), text, wcslen(text), kind);
    return true;
}

void RemoveSettingsEntries(const wchar_t* name) { RemoveMatching(name, false); }

namespace {

// The prefix of every entry under a whole key. An empty prefix would take in every entry, and a
// cut one another key's entries: neither names the key.
bool KeyPrefix(HKEY root, const wchar_t* keyPath, wchar_t* prefix, size_t size) {
    return ComposeEntryName(root, keyPath, L"", prefix, size) && prefix[0] != 0;
}

}  // namespace

void RemoveSettingsKey(HKEY root, const wchar_t* keyPath) {
    wchar_t prefix[kTextChars];
    if (KeyPrefix(root, keyPath, prefix, CountOf(prefix))) RemoveMatching(prefix, true);
}

bool SettingsKeyHasEntries(HKEY root, const wchar_t* keyPath) {
    wchar_t prefix[kTextChars];
    if (!KeyPrefix(root, keyPath, prefix, CountOf(prefix))) return false;
    size_t length = wcslen(prefix);
    for (const SettingsEntry* entry = g_first; entry != nullptr; entry = entry->next) {
        if (StartsWith(entry->name, prefix, length)) return true;
    }
    return false;
}
