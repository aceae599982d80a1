// Uninstall.lst: reading its lines, and deciding which entries may be deleted at all.
#include "integration/integration.h"

#include <wchar.h>

namespace {

bool IsDotsAndSpaces(const wchar_t* part, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (part[i] != L'.' && part[i] != L' ') return false;
    }
    return true;
}

// Names Windows maps to devices in any folder, with or without an extension.
bool IsDeviceName(const wchar_t* part, size_t length) {
    size_t base = 0;
    while (base < length && part[base] != L'.') ++base;
    while (base > 0 && part[base - 1] == L' ') --base;
    wchar_t name[8];
    if (base == 0 || base >= CountOf(name)) return false;
    for (size_t i = 0; i < base; ++i) name[i] = ToUpperAscii(part[i]);
    name[base] = 0;
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* device : kDevices) {
        if (wcscmp(name, device) == 0) return true;
    }
    if (base == 4 && (wcsncmp(name, L"COM", 3) == 0 || wcsncmp(name, L"LPT", 3) == 0)) {
        wchar_t digit = name[3];
        return (digit >= L'1' && digit <= L'9') || digit == 0x00B9 || digit == 0x00B2 || digit == 0x00B3;
    }
    return false;
}

}  // namespace

ListLine ReadListLine(FILE* list, char* line, size_t size) {
    size_t length = 0;
    bool any = false;
    bool damaged = false;
    int c;
    while ((c = getc(list)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (c == 0) damaged = true;
        if (length + 1 < size) line[length] = (char)c;
        if (length < size) ++length;
    }
    // A line that does not fit is one entry too long to use, never several shorter ones.
    bool usable = any && !damaged && size > 0 && length < size - 1;
    if (size > 0) line[usable ? length : 0] = 0;
    if (!any) return ListLine::End;
    return usable ? ListLine::Entry : ListLine::Skipped;
}

bool TrimListEntry(char* line) {
    size_t length = strlen(line);
    while (length > 0 && strchr(" \t\r\n", line[length - 1]) != nullptr) --length;
    line[length] = 0;
    return length > 0;
}

bool IsSafeListEntry(const wchar_t* entry) {
    // Rooted, drive, UNC and device forms, and streams: nothing that could leave the folder.
    if (entry[0] == 0 || IsPathSeparator(entry[0]) || wcschr(entry, L':') != nullptr) return false;
    const wchar_t* part = entry;
    for (;;) {
        const wchar_t* end = part;
        while (*end != 0 && !IsPathSeparator(*end)) ++end;
        size_t length = end - part;
        // "..", and what Windows trims to it, climbs out of the folder.
        if (length > 0 && (IsDotsAndSpaces(part, length) || IsDeviceName(part, length))) return false;
        if (*end == 0) return true;
        part = end + 1;
    }
}

bool MakeEntryPath(const wchar_t* programFolder, const char* entry, wchar_t* out, size_t size) {
    wchar_t wide[kPathChars];
    if (MultiByteToWideChar(CP_ACP, 0, entry, -1, wide, (int)CountOf(wide)) == 0) return false;
    if (!IsSafeListEntry(wide)) return false;
    if (wcslen(programFolder) + wcslen(wide) >= size) return false;
    CopyString(out, programFolder, size);
    AppendString(out, wide, size);
    return true;
}

