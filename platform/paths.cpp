// Path strings and the file-system calls the program shares: every call that fails on the
// path as given is tried once more in the "\\?\" long-path form; the folder-tree deletion
// works in that form throughout.
#include "platform.h"

#include <fcntl.h>
#include <io.h>
#include <wchar.h>

namespace {

const wchar_t kLongPrefix[] = L"\\\\?\\";
const size_t kLongPrefixChars = CountOf(kLongPrefix) - 1;

bool IsDotOrDotDot(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

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
    if (wcsncmp(path, kLongPrefix, kLongPrefixChars) == 0) {
        CopyString(walk, path, CountOf(walk));
    } else if (!MakeLongPath(path, walk, CountOf(walk))) {
        return false;
    }
    wchar_t* rest = walk + kLongPrefixChars;
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
        if (wcsncmp(text, kLongPrefix, kLongPrefixChars) != 0) return;
        bool unc = _wcsnicmp(text + kLongPrefixChars, L"UNC\\", 4) == 0;
        memmove(text + (unc ? 2 : 0), text + kLongPrefixChars + (unc ? 4 : 0),
                (wcslen(text + kLongPrefixChars + (unc ? 4 : 0)) + 1) * sizeof(wchar_t));
    };
    plain(found);
    plain(meant);
    size_t length = wcslen(meant);
    while (length > 3 && meant[length - 1] == L'\\') meant[--length] = 0;
    return CompareStringOrdinal(found, -1, meant, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

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
    if (wcsncmp(path, kLongPrefix, kLongPrefixChars) == 0) path += kLongPrefixChars;
    return wcspbrk(path, L"*?") != nullptr;
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

DWORD GetPathAttributes(const wchar_t* path) {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    TryWithLongPath(path, [&](const wchar_t* name) {
        attributes = GetFileAttributesW(name);
        return attributes != INVALID_FILE_ATTRIBUTES;
    });
    return attributes;
}

bool FileExists(const wchar_t* path) { return GetPathAttributes(path) != INVALID_FILE_ATTRIBUTES; }

bool GetObjectId(const wchar_t* path, ObjectId* out) {
    ScopedHandle handle;
    TryWithLongPath(path, [&](const wchar_t* name) {
        // Attributes only: a folder in use, or a file another program holds, still answers.
        *handle.Receive() = CreateFileW(name, FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        return handle.IsSet();
    });
    BY_HANDLE_FILE_INFORMATION info;
    if (!handle.IsSet() || !GetFileInformationByHandle(handle.Get(), &info)) return false;
    out->volume = info.dwVolumeSerialNumber;
    out->file = (uint64_t)info.nFileIndexHigh << 32 | info.nFileIndexLow;
    return true;
}

int CompareObjects(const wchar_t* a, const wchar_t* b) {
    ObjectId x, y;
    if (!GetObjectId(a, &x) || !GetObjectId(b, &y)) return -1;
    return x.volume == y.volume && x.file == y.file ? 1 : 0;
}

bool RemoveFile(const wchar_t* path) {
    bool removed = TryWithLongPath(path, [](const wchar_t* name) { return DeleteFileW(name) != 0; });
    if (removed) LogFile(L"deleted", path, true);
    return removed;
}

uint64_t GetFreeSpace(const wchar_t* path) {
    wchar_t folder[kPathChars];
    FolderPart(path, folder, CountOf(folder));
    ULARGE_INTEGER available, total, totalFree;
    if (!GetDiskFreeSpaceExW(folder[0] != 0 ? folder : nullptr, &available, &total, &totalFree))
        return 0;
    if (available.HighPart > totalFree.HighPart) return 0;
    return available.QuadPart;
}

bool IsFolderAttr(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsReparseAttr(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

bool MayClearAttributes(DWORD attributes) {
    // Only these stand in the way of a deletion. Those of a link would be set on its target,
    // which may lie anywhere; unknown ones may be a link's.
    const DWORD kBlocking = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & kBlocking) != 0 && !IsReparseAttr(attributes);
}

FILE* OpenStream(const wchar_t* path, const wchar_t* mode) {
    FILE* stream = nullptr;
    TryWithLongPath(path, [&](const wchar_t* name) {
        stream = _wfopen(name, mode);
        return stream != nullptr;
    });
    return stream;
}

FILE* CreateNewStream(const wchar_t* path) {
    // CREATE_NEW fails on anything that stands at the name, a link whose target is missing too;
    // a name that is taken is not tried again.
    HANDLE file = INVALID_HANDLE_VALUE;
    auto create = [&](const wchar_t* name) {
        file = CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        return file != INVALID_HANDLE_VALUE;
    };
    auto notTaken = [] {
        DWORD error = GetLastError();
        return error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS;
    };
    if (!TryWithLongPath(path, create, notTaken)) return nullptr;
    LogFile(L"created", path, true);
    int descriptor = _open_osfhandle((intptr_t)file, _O_WRONLY | _O_BINARY);
    if (descriptor == -1) {
        CloseHandle(file);
        RemoveFile(path);
        return nullptr;
    }
    FILE* stream = _fdopen(descriptor, "wb");
    if (stream == nullptr) {
        _close(descriptor);
        RemoveFile(path);
    }
    return stream;
}

namespace {

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

void FileFinder::SetMask(const wchar_t* mask) {
    // A search still open on the previous mask would otherwise be lost.
    Close();
    CopyString(mask_, mask, CountOf(mask_));
    firstCall_ = true;
}

bool FileFinder::Next(FindData* data) {
    for (;;) {
        if (mask_[0] == 0) return false;
        WIN32_FIND_DATAW found;
        if (firstCall_) {
            HANDLE handle = INVALID_HANDLE_VALUE;
            TryWithLongPath(mask_, [&](const wchar_t* mask) {
                handle = FindFirstFileW(mask, &found);
                return handle != INVALID_HANDLE_VALUE;
            });
            if (handle == INVALID_HANDLE_VALUE) return false;
            handle_ = handle;
        } else if (!FindNextFileW(handle_, &found)) {
            return false;
        }
        CopyString(data->path, mask_, CountOf(data->path));
        ReplaceNamePart(data->path, found.cFileName, CountOf(data->path));
        data->size = ((uint64_t)found.nFileSizeHigh << 32) | found.nFileSizeLow;
        data->attributes = found.dwFileAttributes;
        data->isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        firstCall_ = false;
        if (!IsDotOrDotDot(found.cFileName)) return true;
    }
}

void FileFinder::Close() {
    if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
    handle_ = INVALID_HANDLE_VALUE;
}

bool FindOne(const wchar_t* path, FindData* data) {
    if (HasWildcards(path)) return false;
    FileFinder finder;
    finder.SetMask(path);
    bool found = finder.Next(data);
    finder.Close();
    return found;
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

namespace {

// The long form of an absolute path for the tree walk; false for a relative, rooted, device or
// empty path (the current directory never takes part), for "." and ".." parts (the long form
// takes them literally) and when it does not fit.
bool TreeRootPath(const wchar_t* path, wchar_t* out, size_t size) {
    const wchar_t* rest;
    const wchar_t* prefix;
    if (wcsncmp(path, kLongPrefix, kLongPrefixChars) == 0) {
        rest = path + kLongPrefixChars;
        prefix = kLongPrefix;
        if (!(IsDriveLetter(rest) && IsPathSeparator(rest[2])) && _wcsnicmp(rest, L"UNC\\", 4) != 0) return false;
    } else if (IsDriveLetter(path) && IsPathSeparator(path[2])) {
        rest = path;
        prefix = kLongPrefix;
    } else if (IsPathSeparator(path[0]) && IsPathSeparator(path[1]) && path[2] != L'.' && path[2] != L'?' &&
               path[2] != 0 && !IsPathSeparator(path[2])) {
        rest = path + 2;
        prefix = L"\\\\?\\UNC\\";
    } else {
        return false;
    }
    size_t length = wcslen(prefix) + wcslen(rest);
    if (length >= size) return false;
    CopyString(out, prefix, size);
    size_t at = wcslen(out);
    for (const wchar_t* p = rest; *p != 0; ++p) out[at++] = IsPathSeparator(*p) ? L'\\' : *p;
    out[at] = 0;
    // Trailing separators would make the walk's joined names double them.
    while (at > kLongPrefixChars && out[at - 1] == L'\\') out[--at] = 0;
    // A drive root or a share is never a folder tree to delete: at least one name must follow.
    const wchar_t* first = out + kLongPrefixChars;
    bool unc = _wcsnicmp(first, L"UNC\\", 4) == 0;
    const wchar_t* name = unc ? wcschr(first + 4, L'\\') : first + 2;
    if (name != nullptr && unc) name = wcschr(name + 1, L'\\');
    if (name == nullptr || name[0] != L'\\' || name[1] == 0) return false;
    for (const wchar_t* part = out + kLongPrefixChars; *part != 0;) {
        const wchar_t* end = wcschr(part, L'\\');
        size_t partLength = end != nullptr ? (size_t)(end - part) : wcslen(part);
        if ((partLength == 1 && part[0] == L'.') || (partLength == 2 && part[0] == L'.' && part[1] == L'.'))
            return false;
        if (end == nullptr) break;
        part = end + 1;
    }
    return true;
}

bool DeleteTreeFile(const wchar_t* path, DWORD attributes) {
    // Read-only is the one attribute that stands in the way; a link's would be its target's.
    bool deleted = DeleteFileW(path) || ((attributes & FILE_ATTRIBUTE_READONLY) != 0 && !IsReparseAttr(attributes) &&
                                         SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL) && DeleteFileW(path));
    LogFile(L"deleted", path, deleted);
    return deleted;
}

// An empty folder, or a folder link as the link; read-only stands in the way only of a folder that
// is no link.
void RemoveTreeFolder(const wchar_t* path, DWORD attributes) {
    bool removed = RemoveDirectoryW(path) || ((attributes & FILE_ATTRIBUTE_READONLY) != 0 && !IsReparseAttr(attributes) &&
                                              SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL) && RemoveDirectoryW(path));
    LogFile(L"removed folder", path, removed);
}

// Deletes everything in the folder whose long-form path is path (length characters, size
// characters of room), depth first; an entry whose path would not fit is left, never cut.
void DeleteTreeEntries(wchar_t* path, size_t length, size_t size) {
    if (length + 2 >= size) return;
    wcscpy(path + length, L"\\*");
    WIN32_FIND_DATAW found;
    ScopedFind search(FindFirstFileExW(path, FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
    path[length] = 0;
    if (search.Get() == INVALID_HANDLE_VALUE) return;
    do {
        if (IsDotOrDotDot(found.cFileName)) continue;
        size_t nameLength = wcslen(found.cFileName);
        if (length + 1 + nameLength >= size) continue;
        path[length] = L'\\';
        wcscpy(path + length + 1, found.cFileName);
        switch (TreeStepFor(found.dwFileAttributes)) {
        case TreeStep::Descend: {
            HeldFolder folder(path);
            // Checked again on the open folder: it may have been swapped for a link since.
            if (folder.IsRealFolder()) DeleteTreeEntries(path, length + 1 + nameLength, size);
            folder.Release();
            RemoveTreeFolder(path, found.dwFileAttributes);
            break;
        }
        case TreeStep::RemoveFolderLink:
            RemoveTreeFolder(path, found.dwFileAttributes);
            break;
        case TreeStep::RemoveFileLink:
            LogFile(L"deleted link", path, DeleteFileW(path) != 0);
            break;
        case TreeStep::DeletePlainFile:
            DeleteTreeFile(path, found.dwFileAttributes);
            break;
        case TreeStep::Leave:
            break;
        }
        path[length] = 0;
    } while (FindNextFileW(search.Get(), &found));
}

}  // namespace

void DeleteFolderTree(const wchar_t* path) {
    // Room for the long form's prefix in front of a whole path.
    wchar_t tree[kPathChars + 8];
    if (wcslen(path) >= kPathChars || !TreeRootPath(path, tree, CountOf(tree))) return;
    // A junction, a symbolic link or a plain file passed in is left as it is, and so is a folder
    // reached through a link on the way.
    HeldFolder folder(tree);
    if (!folder.IsFolderMeant(tree)) return;
    DeleteTreeEntries(tree, wcslen(tree), CountOf(tree));
    folder.Release();
    RemoveTreeFolder(tree, 0);
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
    wchar_t path[kPathChars];
    UINT n = GetSystemDirectoryW(path, CountOf(path));
    if (n == 0 || n >= CountOf(path)) return nullptr;
    JoinPath(path, name, path, CountOf(path));
    return LoadLibraryW(path);
}
