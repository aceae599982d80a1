// Path text: separators, drives, joining and cutting names, and the "\\?\" long-path form. Pure
// string work, but for the current directory that the long form of a relative path starts from.
#include "platform.h"

#include <wchar.h>

namespace {

const wchar_t kLongPrefix[] = L"\\\\?\\";
const size_t kLongPrefixChars = CountOf(kLongPrefix) - 1;

}  // namespace

const wchar_t* LongPrefix() { return kLongPrefix; }

const wchar_t* SkipLongPrefix(const wchar_t* path) {
    return wcsncmp(path, kLongPrefix, kLongPrefixChars) == 0 ? path + kLongPrefixChars : path;
}

wchar_t* SkipLongPrefix(wchar_t* path) {
    return const_cast<wchar_t*>(SkipLongPrefix(static_cast<const wchar_t*>(path)));
}

bool IsDotOrDotDot(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

bool IsPathSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDriveLetter(const wchar_t* path) {
    wchar_t first = ToUpperAscii(path[0]);
    return first >= L'A' && first <= L'Z' && path[1] == L':';
}

bool IsAbsolutePath(const wchar_t* path) {
    if (path[0] == L'\\' && path[1] == L'\\') return true;
    return IsDriveLetter(path) && IsPathSeparator(path[2]);
}

bool HasWildcards(const wchar_t* path) {
    return wcspbrk(SkipLongPrefix(path), L"*?") != nullptr;
}

void AddTrailingBackslash(wchar_t* path, size_t size) {
    size_t length = wcslen(path);
    if (length == 0 || path[length - 1] == L'\\' || length + 1 >= size) return;
    path[length] = L'\\';
    path[length + 1] = 0;
}

void JoinPath(const wchar_t* folder, const wchar_t* name, wchar_t* out, size_t size) {
    // A work buffer, so that folder and out may be the same buffer.
    wchar_t joined[kPathChars];
    CopyString(joined, folder, CountOf(joined));
    bool driveOnly = IsDriveLetter(joined) && joined[2] == 0;
    if (!driveOnly) AddTrailingBackslash(joined, CountOf(joined));
    AppendString(joined, name, CountOf(joined));
    CopyString(out, joined, size);
}

bool JoinWhole(const wchar_t* folder, const wchar_t* name, wchar_t* out, size_t size) {
    if (wcslen(folder) + 1 + wcslen(name) >= size) return false;
    JoinPath(folder, name, out, size);
    return true;
}

const wchar_t* NamePart(const wchar_t* path) {
    const wchar_t* name = nullptr;
    for (const wchar_t* p = path; *p != 0; ++p) {
        if (IsPathSeparator(*p)) name = p + 1;
    }
    if (name != nullptr) return name;
    if (path[0] != 0 && path[1] == L':') return path + 2;
    return path;
}

wchar_t* NamePart(wchar_t* path) {
    return const_cast<wchar_t*>(NamePart(static_cast<const wchar_t*>(path)));
}

void CutNamePart(wchar_t* path) {
    size_t position = NamePart(path) - path;
    // Keep the separator of a root ("C:\", "\") but not the one after a folder name.
    bool rootOfDrive = path[0] != 0 && path[1] == L':' && (position == 2 || position == 3);
    if (position >= 2 && !rootOfDrive) --position;
    path[position] = 0;
}

void ReplaceNamePart(wchar_t* path, const wchar_t* name, size_t size) {
    size_t position = NamePart(path) - path;
    if (position < size) CopyString(path + position, name, size - position);
}

void FolderPart(const wchar_t* path, wchar_t* out, size_t size) {
    if (size == 0) return;
    size_t length = NamePart(path) - path;
    if (length > size - 1) length = size - 1;
    wmemcpy(out, path, length);
    out[length] = 0;
}

const wchar_t* LastChar(const wchar_t* path) {
    size_t length = wcslen(path);
    return length == 0 ? path : path + length - 1;
}

bool MakeLongPath(const wchar_t* path, wchar_t* out, size_t size) {
    size_t n = wcslen(path);
    if (n == 0) return false;
    if (IsAbsolutePath(path) && IsDriveLetter(path)) {
        if (size <= n + 4) return false;
        CopyString(out, kLongPrefix, size);
        AppendString(out, path, size);
        return true;
    }
    if (IsAbsolutePath(path)) {
        if (size <= n + 6) return false;
        CopyString(out, kLongPrefix, size);
        AppendString(out, L"UNC", size);
        AppendString(out, path + 1, size);
        return true;
    }
    wchar_t current[kPathChars];
    DWORD got = GetCurrentDirectoryW(CountOf(current) - 1, current);
    if (got == 0 || got >= CountOf(current) - 1) return false;
    if (IsPathSeparator(path[0])) {
        if (size <= n + 6) return false;
        CopyString(out, kLongPrefix, size);
        wchar_t drive[3] = {current[0], current[1], 0};
        AppendString(out, drive, size);
        AppendString(out, path, size);
        return true;
    }
    AddTrailingBackslash(current, CountOf(current));
    if (size <= n + 4 + wcslen(current)) return false;
    if (path[0] == L'.' && IsPathSeparator(path[1])) path += 2;
    CopyString(out, kLongPrefix, size);
    AppendString(out, current, size);
    AppendString(out, path, size);
    return true;
}
