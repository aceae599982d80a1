// The language file "uninstall.lng": finds the marker, decodes the body, parses sections and
// entries into the process-wide table, and answers look-ups by key.
#include "language.h"

#include <string.h>

namespace {

struct LanguageEntry {
    char* key;
    wchar_t* text;
};

struct LanguageTable {
    ~LanguageTable() { Clear(); }
    void Clear() {
        for (uint32_t i = 0; i < entries.Count(); ++i) {
            free(entries[i].key);
            free(entries[i].text);
        }
        entries.Clear();
        keyOrder.Clear();
        rightToLeft = false;
    }

    BoundedArray<LanguageEntry> entries;
    BoundedArray<uint32_t> keyOrder;
    bool rightToLeft = false;
    bool layoutChanged = false;  // this table made the process lay out right to left
};

LanguageTable g_table;

enum : uint32_t {
    kBlockBytes = 8192,
    kMaxBlocks = 256,
    // Consecutive blocks overlap by a whole UTF-16 marker test window, so that a marker in
    // either form that straddles two blocks is still seen.
    kBlockOverlap = 32,
    kMaxBodyBytes = 2 * 1024 * 1024,
    kMaxBodyChars = 1024 * 1024,
    kMaxValueChars = 65536,
    kKeyBytes = 50,        // 49 bytes and the terminator
    kNameChars = 99,       // a section name or a key name window
    kNameBytes = 100,
};

const char kMarkerTail[] = "*messages**";  // follows two asterisks
const size_t kMarkerTailLength = 11;

bool IsLineEnd(wchar_t c) { return c == L'\r' || c == L'\n'; }

// Looks for the marker in both forms; returns its file position and form, or false.
bool FindMarker(FileObject& file, int64_t* position, bool* wide) {
    unsigned char block[kBlockBytes];
    int64_t start = 0;
    for (uint32_t round = 0; round < kMaxBlocks; ++round) {
        if (!file.Seek(start, FILE_BEGIN)) return false;
        int n = file.Read(block, (int)sizeof(block));
        if (n < 16) return false;
        for (int offset = 0; offset <= n - 16; ++offset) {
            const unsigned char* p = block + offset;
            if (p[0] == '*' && p[1] == '*' && memcmp(p + 2, kMarkerTail, kMarkerTailLength) == 0) {
                *position = start + offset;
                *wide = false;
                return true;
            }
            if (offset <= n - 32 && p[0] == '*' && p[1] == 0 && p[2] == '*' && p[3] == 0) {
                bool match = true;
                for (size_t k = 0; k < kMarkerTailLength && match; ++k) {
                    match = p[4 + 2 * k] == (unsigned char)kMarkerTail[k] && p[5 + 2 * k] == 0;
                }
                if (match) {
                    *position = start + offset;
                    *wide = true;
                    return true;
                }
            }
        }
        // A short block was the end of the file; there is nothing new to read.
        if (n < (int)sizeof(block)) return false;
        start += n - kBlockOverlap;
    }
    return false;
}

// Reads the body from the marker on and decodes it; the result ends with a zero at
// min(characters, kMaxBodyChars). Returns null when nothing could be read or allocated.
wchar_t* ReadBody(FileObject& file, int64_t position, bool wide, uint32_t* length) {
    if (!file.Seek(position, FILE_BEGIN)) return nullptr;
    unsigned char* bytes = static_cast<unsigned char*>(malloc(kMaxBodyBytes + 2));
    if (bytes == nullptr) return nullptr;
    int n = file.Read(bytes, kMaxBodyBytes);
    if (n <= 0) {
        free(bytes);
        return nullptr;
    }
    uint32_t count = (uint32_t)n;
    wchar_t* body;
    if (wide) {
        body = reinterpret_cast<wchar_t*>(bytes);  // an odd last byte is dropped
        count /= 2;
    } else {
        bytes[count] = 0;
        body = static_cast<wchar_t*>(malloc((size_t)count * 2 + 2));
        if (body == nullptr) {
            free(bytes);
            return nullptr;
        }
        if (!WideFromAnsi(reinterpret_cast<const char*>(bytes), body, (size_t)count + 1)) body[0] = 0;
        free(bytes);
        count = (uint32_t)wcsnlen(body, (size_t)count + 1);
    }
    if (count > kMaxBodyChars) count = kMaxBodyChars;
    body[count] = 0;
    *length = count;
    return body;
}

char* CopyNarrow(const char* text) {
    size_t size = strlen(text) + 1;
    char* copy = static_cast<char*>(malloc(size));
    if (copy == nullptr) g_errors.ReportMemoryError();
    memcpy(copy, text, size);
    return copy;
}

// Converts up to kNameChars characters to the ANSI code page, cut to capacity - 1 bytes.
void NarrowName(const wchar_t* chars, size_t count, char* out, size_t capacity) {
    wchar_t wide[kNameChars + 1];
    if (count > kNameChars) count = kNameChars;
    memcpy(wide, chars, count * sizeof(wchar_t));
    wide[count] = 0;
    char narrow[kNameChars * 4 + 1];  // room for any code page's longest form
    if (!AnsiFromWide(wide, narrow, CountOf(narrow))) narrow[0] = 0;
    CopyStringA(out, narrow, capacity);
}

// One pass over the body: section headers set the key prefix, entry lines add entries.
class Parser {
public:
    Parser(const wchar_t* body, uint32_t length, wchar_t* value) : body_(body), length_(length), value_(value) {
        CopyStringA(prefix_, "s:", CountOf(prefix_));
    }
    void Run();

private:
    enum State { kIgnore, kValue };
    void StartLine(uint32_t* i);
    void ReadHeader(uint32_t at);
    void StartEntry(uint32_t* i);
    void AddValueChar(uint32_t* i);
    void FinishEntry();

    const wchar_t* body_;
    uint32_t length_;
    wchar_t* value_;
    uint32_t valueLength_ = 0;
    State state_ = kIgnore;
    bool hasKey_ = false;
    char prefix_[kNameBytes + 4];
    char key_[kKeyBytes];
};

void Parser::Run() {
    // The marker's own line is never a line start.
    bool lineStart = false;
    for (uint32_t i = 0; i < length_ && body_[i] != 0; ++i) {
        wchar_t c = body_[i];
        if (IsLineEnd(c)) {
            if (hasKey_) FinishEntry();
            hasKey_ = false;
            valueLength_ = 0;
            state_ = kIgnore;
            lineStart = true;
        } else if (lineStart) {
            lineStart = false;
            StartLine(&i);
        } else if (state_ == kValue) {
            AddValueChar(&i);
        }
    }
    if (hasKey_) FinishEntry();
}

void Parser::StartLine(uint32_t* i) {
    wchar_t c = body_[*i];
    state_ = kIgnore;
    if (c == L':') {
        ReadHeader(*i + 1);
    } else if (IsAsciiLetter(c)) {
        StartEntry(i);
    }
}

void Parser::ReadHeader(uint32_t at) {
    static const wchar_t* const keywords[] = {L"STRINGS", L"DIALOG", L"MENU", L"DIRECTION"};
    int which = -1;
    uint32_t after = at;
    for (int k = 0; k < (int)CountOf(keywords) && which < 0; ++k) {
        // The body ends with a zero, so a comparison never runs past it.
        size_t n = wcslen(keywords[k]);
        if (at + n <= length_ && wcsncmp(body_ + at, keywords[k], n) == 0 &&
            (at + n == length_ || body_[at + n] <= 32)) {
            which = k;
            after = at + (uint32_t)n;
        }
    }
    if (which < 0) return;
    if (which == 0) {
        CopyStringA(prefix_, "s:", CountOf(prefix_));
        return;
    }
    while (after < length_ && IsBlank(body_[after])) ++after;
    uint32_t end = after;
    while (end < length_ && end - after < kNameChars && body_[end] > 32) ++end;
    char name[kNameBytes];
    NarrowName(body_ + after, end - after, name, CountOf(name));
    if (which == 1) FormatBoundedNarrow(prefix_, CountOf(prefix_), "$%s:", name);
    else if (which == 2) FormatBoundedNarrow(prefix_, CountOf(prefix_), "@%s:", name);
    else g_table.rightToLeft = strcmp(name, "RTL") == 0;
}

void Parser::StartEntry(uint32_t* i) {
    // The separator is looked for on this line only: a line without one is no entry, and the
    // next line keeps its own.
    uint32_t start = *i;
    uint32_t separator = start;
    bool found = false;
    for (; separator < length_ && separator - start < kNameChars && body_[separator] != 0; ++separator) {
        wchar_t c = body_[separator];
        if (IsLineEnd(c)) break;
        if (c == L' ' || c == L'\t' || c == L',') {
            found = true;
            break;
        }
    }
    if (!found) return;

    char name[kNameBytes];
    NarrowName(body_ + start, separator - start, name, CountOf(name));
    char key[kNameBytes];
    CopyStringA(key, prefix_, CountOf(key));
    AppendStringA(key, name, CountOf(key));
    CopyStringA(key_, key, CountOf(key_));

    uint32_t next = separator + 1;
    while (next < length_ && IsBlank(body_[next])) ++next;
    *i = next - 1;  // the loop's increment moves to the first value character
    hasKey_ = true;
    valueLength_ = 0;
    state_ = kValue;
}

void Parser::AddValueChar(uint32_t* i) {
    wchar_t c = body_[*i];
    if (c == L'\\' && *i + 1 < length_) {
        wchar_t escaped = 0;
        switch (body_[*i + 1]) {
        case L'"': escaped = L'"'; break;
        case L'\\': escaped = L'\\'; break;
        case L'n': escaped = L'\n'; break;
        case L'r': escaped = L'\r'; break;
        case L't': escaped = L'\t'; break;
        }
        if (escaped != 0) {
            c = escaped;
            ++*i;
        }
    }
    if (valueLength_ < kMaxValueChars) value_[valueLength_++] = c;
}

void Parser::FinishEntry() {
    uint32_t end = valueLength_;
    while (end > 0 && IsBlank(value_[end - 1])) --end;
    if (end > 0 && value_[end - 1] == L'"') --end;
    uint32_t begin = 0;
    if (begin < end && value_[begin] == L'"') ++begin;

    LanguageEntry entry;
    entry.key = CopyNarrow(key_);
    entry.text = CopyToHeap(value_ + begin, end - begin);
    uint32_t index = g_table.entries.Count();
    g_table.entries.Add(1);
    g_table.entries[index] = entry;
}

int CompareEntryKeys(const void* a, const void* b) {
    const LanguageEntry& entryA = g_table.entries[*static_cast<const uint32_t*>(a)];
    const LanguageEntry& entryB = g_table.entries[*static_cast<const uint32_t*>(b)];
    return strcmp(entryA.key, entryB.key);
}

void BuildKeyOrder() {
    uint32_t count = g_table.entries.Count();
    g_table.keyOrder.Resize(count);
    for (uint32_t i = 0; i < count; ++i) g_table.keyOrder[i] = i;
    SortArray(g_table.keyOrder.Data(), count, sizeof(uint32_t), CompareEntryKeys);
}

void ReadLanguageFile(const wchar_t* path) {
    FileObject file;
    if (!file.Open(path, kOpenShareWrite)) return;

    int64_t position = 0;
    bool wide = false;
    if (!FindMarker(file, &position, &wide)) return;
    uint32_t length = 0;
    wchar_t* body = ReadBody(file, position, wide, &length);
    if (body == nullptr) return;
    wchar_t* value = static_cast<wchar_t*>(malloc((kMaxValueChars + 1) * sizeof(wchar_t)));
    if (value == nullptr) {
        free(body);
        return;
    }
    Parser parser(body, length, value);
    parser.Run();
    free(value);
    free(body);
    BuildKeyOrder();
}

}  // namespace

void LoadLanguageFile(const wchar_t* name) {
    ResetLanguageTable();

    wchar_t path[kPathChars];
    ResolveInLanguageFolder(name, path, CountOf(path));
    if (wcschr(path, L'\\') == nullptr) {
        wchar_t folder[kPathChars];
        ProgramFolder(folder, CountOf(folder));
        JoinPath(folder, path, path, CountOf(path));
    }
    ReadLanguageFile(path);

    // A language library marks a right-to-left language by holding a dialog named "RTL".
    if (FindResourceW(ResourceModule(), L"RTL", RT_DIALOG) != nullptr) g_table.rightToLeft = true;
    if (g_table.rightToLeft) {
        SetProcessDefaultLayout(LAYOUT_RTL);
        g_table.layoutChanged = true;
    }
}

bool FindTextForKey(const char* key, wchar_t* buffer, size_t capacity) {
    uint32_t count = g_table.keyOrder.Count();
    if (count == 0 || key == nullptr) return false;
    uint32_t low = 0;
    uint32_t high = count;
    while (low < high) {
        uint32_t middle = low + (high - low) / 2;
        const LanguageEntry& entry = g_table.entries[g_table.keyOrder[middle]];
        int c = strcmp(key, entry.key);
        if (c == 0) {
            CopyString(buffer, entry.text, capacity);
            return true;
        }
        if (c < 0) high = middle;
        else low = middle + 1;
    }
    return false;
}

uint32_t LanguageEntryCount() { return g_table.entries.Count(); }

bool IsRightToLeft() { return g_table.rightToLeft; }

void ResetLanguageTable() {
    g_table.Clear();
    if (g_table.layoutChanged) {
        SetProcessDefaultLayout(0);
        g_table.layoutChanged = false;
    }
}
