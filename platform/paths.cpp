// Path strings and the file-system calls the program shares: every call that fails on the
// path as given is tried once more in the "\\?\" long-path form.
#include "platform.h"


#include <shellapi.h>
#include <shlobj.h>
#include <wchar.h>

namespace {

const wchar_t kLongPrefix[] = L"\\\\?\\";
const size_t kLongPrefixChars = CountOf(kLongPrefix) - 1;

// Closes a registry key on every way out.
class RegKeyHolder {
public:
    ~RegKeyHolder() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    HKEY* Receive() { return &key_; }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

bool IsDotOrDotDot(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

bool IsFolder(const wchar_t* path) { return IsFolderAttr(GetPathAttributes(path)); }

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
    DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES) return attributes;
    wchar_t longPath[kPathChars];
    if (!MakeLongPath(path, longPath, CountOf(longPath))) return INVALID_FILE_ATTRIBUTES;
    return GetFileAttributesW(longPath);
}

bool FileExists(const wchar_t* path) { return GetPathAttributes(path) != INVALID_FILE_ATTRIBUTES; }

bool RemoveFile(const wchar_t* path) {
    if (DeleteFileW(path)) return true;
    wchar_t longPath[kPathChars];
    return MakeLongPath(path, longPath, CountOf(longPath)) && DeleteFileW(longPath);
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

FILE* OpenStream(const wchar_t* path, const wchar_t* mode) { return _wfopen(path, mode); }

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
            HANDLE handle = FindFirstFileW(mask_, &found);
            if (handle == INVALID_HANDLE_VALUE) {
                wchar_t longMask[kPathChars];
                if (MakeLongPath(mask_, longMask, CountOf(longMask)))
                    handle = FindFirstFileW(longMask, &found);
            }
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

void DeleteFolderTree(const wchar_t* path) {
    // A cut path would name some other folder; such a path is left alone.
    if (wcslen(path) > kPathChars - 1) return;
    DWORD attributes = GetFileAttributesW(path);
    // A junction or symbolic link is never followed: the shell would delete its target's files.
    if (!IsFolderAttr(attributes) || IsReparseAttr(attributes)) return;
    wchar_t source[kPathChars + 2];
    CopyString(source, path, kPathChars);
    source[wcslen(source) + 1] = 0;  // the shell takes a list ended by an empty entry
    SHFILEOPSTRUCTW operation = {};
    operation.hwnd = nullptr;
    operation.wFunc = FO_DELETE;
    operation.pFrom = source;
    operation.pTo = nullptr;
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION;
    SHFileOperationW(&operation);
}

bool AppDataFolder(wchar_t* out, size_t size) {
    if (size == 0) return false;
    out[0] = 0;
    wchar_t shellFolder[kPathChars] = {};
    LPITEMIDLIST items = nullptr;
    if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_APPDATA, &items)) && items != nullptr) {
        if (!SHGetPathFromIDListW(items, shellFolder)) shellFolder[0] = 0;
        IMalloc* allocator = nullptr;
        if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator != nullptr) {
            allocator->Free(items);
            allocator->Release();
        }
    }
    if (shellFolder[0] == 0) return false;
    CopyString(out, shellFolder, size);
    AddTrailingBackslash(out, size);
    AppendString(out, L"Ombrix", size);
    return IsFolder(out);
}

void SettingsFolder(wchar_t* out, size_t size) {
    if (size == 0) return;
    RegKeyHolder key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Ombrix\\Paths", 0, KEY_QUERY_VALUE,
                      key.Receive()) == ERROR_SUCCESS) {
        DWORD bytes = (DWORD)(size * sizeof(wchar_t));
        LONG status = RegQueryValueExW(key.Get(), L"AppData", nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(out), &bytes);
        if (status == ERROR_SUCCESS) {
            size_t chars = bytes / sizeof(wchar_t);
            out[chars < size ? chars : size - 1] = 0;
            if (out[0] != 0 && FileExists(out)) return;
        }
    }
    if (AppDataFolder(out, size)) return;
    wchar_t program[kPathChars];
    DWORD n = GetModuleFileNameW(nullptr, program, CountOf(program));
    if (n == 0 || n >= CountOf(program)) program[0] = 0;
    CutNamePart(program);
    CopyString(out, program, size);
}

void ResolveTempFolder(const wchar_t* configured, wchar_t* out, size_t size) {
    if (size == 0) return;
    CopyString(out, configured, size);
    wchar_t expanded[kPathChars];
    DWORD n = ExpandEnvironmentStringsW(out, expanded, CountOf(expanded));
    if (out[0] != 0 && n != 0 && n < CountOf(expanded)) CopyString(out, expanded, size);
    // A configured folder that does not exist (or is a file) is never used.
    if (out[0] != 0 && IsFolder(out)) {
        AddTrailingBackslash(out, size);
        return;
    }
    DWORD got = GetTempPathW((DWORD)size, out);
    if (got == 0 || got >= size || out[0] == 0) CopyString(out, L"\\kvatemp", size);
    AddTrailingBackslash(out, size);
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
    wchar_t path[kPathChars];
    UINT n = GetSystemDirectoryW(path, CountOf(path));
    if (n == 0 || n >= CountOf(path)) return nullptr;
    JoinPath(path, name, path, CountOf(path));
    return LoadLibraryW(path);
}
