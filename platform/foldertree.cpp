// The folder-tree deletion: depth first, in the "\\?\" long-path form throughout, every link
// removed as the link and never entered.
#include "platform.h"

#include <wchar.h>

namespace {

// The long form of an absolute path for the tree walk; false for a relative, rooted, device or
// empty path (the current directory never takes part), for "." and ".." parts (the long form
// takes them literally) and when it does not fit.
bool TreeRootPath(const wchar_t* path, wchar_t* out, size_t size) {
    const wchar_t* rest = SkipLongPrefix(path);
    const wchar_t* prefix = LongPrefix();
    if (rest != path) {
        if (!(IsDriveLetter(rest) && IsPathSeparator(rest[2])) && _wcsnicmp(rest, L"UNC\\", 4) != 0) return false;
    } else if (IsPathSeparator(path[0]) && IsPathSeparator(path[1]) && path[2] != L'.' && path[2] != L'?' &&
               path[2] != 0 && !IsPathSeparator(path[2])) {
        rest = path + 2;
        prefix = L"\\\\?\\UNC\\";
    } else if (!(IsDriveLetter(path) && IsPathSeparator(path[2]))) {
        return false;
    }
    size_t length = wcslen(prefix) + wcslen(rest);
    if (length >= size) return false;
    CopyString(out, prefix, size);
    size_t at = wcslen(out);
    for (const wchar_t* p = rest; *p != 0; ++p) out[at++] = IsPathSeparator(*p) ? L'\\' : *p;
    out[at] = 0;
    const wchar_t* first = SkipLongPrefix(out);
    // Trailing separators would make the walk's joined names double them.
    while (out + at > first && out[at - 1] == L'\\') out[--at] = 0;
    // A drive root or a share is never a folder tree to delete: at least one name must follow.
    bool unc = _wcsnicmp(first, L"UNC\\", 4) == 0;
    const wchar_t* name = unc ? wcschr(first + 4, L'\\') : first + 2;
    if (name != nullptr && unc) name = wcschr(name + 1, L'\\');
    if (name == nullptr || name[0] != L'\\' || name[1] == 0) return false;
    for (const wchar_t* part = first; *part != 0;) {
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
    // DeleteFileW refuses a read-only file, and hidden or system ones stand in the way of nothing the
    // walk does: read-only is all it clears. A link's attributes would be its target's.
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
