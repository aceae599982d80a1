// Link safety: whether a path, or an open handle, leads where it says with no link (junction,
// symbolic link) on the way; deleting and holding what stands at a path as itself.
#include "platform.h"

#include <wchar.h>

namespace {

// The full path an open handle resolves to, links followed as the system followed them.
bool FinalPath(HANDLE handle, wchar_t* out, size_t size) {
    if (handle == INVALID_HANDLE_VALUE) return false;
    DWORD n = GetFinalPathNameByHandleW(handle, out, (DWORD)size, FILE_NAME_NORMALIZED);
    return n != 0 && n < size;
}

// Where the system names no final path (Wine answers none past MAX_PATH), each folder on the way
// and the name itself are asked whether they are links: a drive path only.
bool NoLinkOnTheWay(const wchar_t* path) {
    wchar_t walk[kPathChars];
    if (SkipLongPrefix(path) != path) {
        CopyString(walk, path, CountOf(walk));
    } else if (!MakeLongPath(path, walk, CountOf(walk))) {
        return false;
    }
    wchar_t* rest = SkipLongPrefix(walk);
    if (wcslen(walk) + 1 >= CountOf(walk) || !IsDriveLetter(rest) || !IsPathSeparator(rest[2])) return false;
    for (wchar_t* p = rest + 3;; ++p) {
        if (*p != 0 && !IsPathSeparator(*p)) continue;
        wchar_t kept = *p;
        *p = 0;
        DWORD attributes = GetFileAttributesW(walk);
        *p = kept;
        if (attributes == INVALID_FILE_ATTRIBUTES || IsReparseAttr(attributes)) return false;
        if (kept == 0) return true;
    }
}

// True when the open handle resolves to the path meant, whose short names, if any, count as
// their long ones: a link anywhere on the way leads to another final path.
bool IsFinalPathOf(HANDLE handle, const wchar_t* path) {
    wchar_t found[kPathChars], meant[kPathChars];
    if (!FinalPath(handle, found, CountOf(found))) return NoLinkOnTheWay(path);
    DWORD n = GetLongPathNameW(path, meant, CountOf(meant));
    if (n == 0 || n >= CountOf(meant)) CopyString(meant, path, CountOf(meant));
    // Both in the plain form: "\\?\C:\x" as "C:\x", "\\?\UNC\server\x" as "\\server\x".
    auto plain = [](wchar_t* text) {
        wchar_t* rest = SkipLongPrefix(text);
        if (rest == text) return;
        bool unc = _wcsnicmp(rest, L"UNC\\", 4) == 0;
        memmove(text + (unc ? 2 : 0), rest + (unc ? 4 : 0), (wcslen(rest + (unc ? 4 : 0)) + 1) * sizeof(wchar_t));
    };
    plain(found);
    plain(meant);
    size_t length = wcslen(meant);
    while (length > 3 && meant[length - 1] == L'\\') meant[--length] = 0;
    return CompareStringOrdinal(found, -1, meant, -1, TRUE) == CSTR_EQUAL;
}

// Deletes what stands at path through the handle it was opened by, never a plain folder. With
// wholePath the handle must resolve to path itself; else only its last name is checked, beneath
// the folder as the system resolves it.
bool RemoveEntry(const wchar_t* path, bool wholePath) {
    const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    ScopedHandle entry(CreateFileW(path, DELETE | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (entry.Get() == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(entry.Get(), &info)) return false;
    bool sameName;
    if (wholePath) {
        sameName = IsFinalPathOf(entry.Get(), path);
    } else {
        wchar_t folder[kPathChars];
        FolderPart(path, folder, CountOf(folder));
        ScopedHandle folderHandle(CreateFileW(folder, FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        wchar_t expected[kPathChars];
        wchar_t found[kPathChars];
        if (!FinalPath(folderHandle.Get(), expected, CountOf(expected)) || !FinalPath(entry.Get(), found, CountOf(found)))
            return false;
        AddTrailingBackslash(expected, CountOf(expected));
        AppendString(expected, NamePart(path), CountOf(expected));
        sameName = CompareStringOrdinal(expected, -1, found, -1, TRUE) == CSTR_EQUAL;
    }
    // Where a link was opened as its target (Wine opens a Unix link so), the handle resolves to
    // another name: the target is never deleted. Nor is a folder that is no link.
    bool plainFolder = IsFolderAttr(info.dwFileAttributes) && !IsReparseAttr(info.dwFileAttributes);
    if (!sameName || plainFolder) return false;
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(entry.Get(), FileDispositionInfo, &disposition, sizeof(disposition)) != 0;
}

}  // namespace

bool RemoveAsItself(const wchar_t* path) {
    bool removed = RemoveEntry(path, false);
    if (removed) LogFile(L"deleted", path, true);
    return removed;
}

bool RemoveFileMeant(const wchar_t* path) {
    bool removed = IsAbsolutePath(path) && RemoveEntry(path, true);
    if (removed) LogFile(L"deleted", path, true);
    return removed;
}

bool IsSoleFileAt(HANDLE handle, const wchar_t* path) {
    BY_HANDLE_FILE_INFORMATION info;
    return handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &info) &&
           TreeStepFor(info.dwFileAttributes) == TreeStep::DeletePlainFile && info.nNumberOfLinks == 1 &&
           IsFinalPathOf(handle, path);
}

bool IsSoleFileAt(const wchar_t* path) {
    ScopedHandle file(CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return IsSoleFileAt(file.Get(), path);
}

bool IsLocalPath(const wchar_t* path) {
    if (!IsDriveLetter(path) || !IsPathSeparator(path[2])) return false;
    wchar_t root[4] = {path[0], L':', L'\\', 0};
    return GetDriveTypeW(root) != DRIVE_REMOTE;
}

bool PassesThroughLink(const wchar_t* base, const wchar_t* path, AttributeQuery query, CheckedFolder* checked) {
    size_t start = wcslen(base);
    if (wcsncmp(path, base, start) != 0) return true;
    // The folders the last path checked are not asked again: paths come folder by folder. The
    // checked folder counts only where it is a whole folder of this path, a separator following
    // it here: "C:\P\Lang" is no folder of "C:\P\Language\x".
    size_t known = 0;
    if (checked != nullptr && checked->length > start && wcsncmp(path, checked->path, checked->length) == 0 &&
        IsPathSeparator(path[checked->length])) {
        known = checked->length;
    }
    wchar_t folder[kPathChars];
    size_t deepest = 0;
    for (size_t i = start; path[i] != 0; ++i) {
        // Each folder on the way, named without its separator; empty parts name nothing new.
        if (!IsPathSeparator(path[i]) || i == start || IsPathSeparator(path[i - 1])) continue;
        if (i >= CountOf(folder)) return true;
        deepest = i;
        if (i <= known) continue;
        wmemcpy(folder, path, i);
        folder[i] = 0;
        DWORD attributes = query(folder);
        if (attributes == INVALID_FILE_ATTRIBUTES || IsReparseAttr(attributes)) return true;
    }
    if (checked != nullptr && deepest > known) {
        wmemcpy(checked->path, path, deepest);
        checked->path[deepest] = 0;
        checked->length = deepest;
    }
    return false;
}

HeldFolder::HeldFolder(const wchar_t* path) {
    handle_ = CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool HeldFolder::IsRealFolder() const {
    BY_HANDLE_FILE_INFORMATION info;
    return handle_ != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle_, &info) &&
           TreeStepFor(info.dwFileAttributes) == TreeStep::Descend;
}

bool HeldFolder::IsFolderMeant(const wchar_t* path) const { return IsRealFolder() && IsFinalPathOf(handle_, path); }

void HeldFolder::Release() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
}

TreeStep TreeStepFor(DWORD attributes) {
    if (attributes == INVALID_FILE_ATTRIBUTES) return TreeStep::Leave;
    // A link is removed as the link: entering it would empty its target, wherever that is.
    if (IsReparseAttr(attributes)) return IsFolderAttr(attributes) ? TreeStep::RemoveFolderLink : TreeStep::RemoveFileLink;
    return IsFolderAttr(attributes) ? TreeStep::Descend : TreeStep::DeletePlainFile;
}
