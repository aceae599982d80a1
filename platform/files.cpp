// The file-system calls the program shares: every call that fails on the path as given is tried
// once more in the "\\?\" long-path form.
#include "platform.h"

#include <fcntl.h>
#include <io.h>
#include <wchar.h>

DWORD GetPathAttributes(const wchar_t* path) {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    TryWithLongPath(path, [&](const wchar_t* name) {
        attributes = GetFileAttributesW(name);
        return attributes != INVALID_FILE_ATTRIBUTES;
    });
    return attributes;
}

bool PathExists(const wchar_t* path) { return GetPathAttributes(path) != INVALID_FILE_ATTRIBUTES; }

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
    // Read-only makes DeleteFileW and RemoveDirectoryW refuse; hidden and system make cmd's "del"
    // pass a file over. Those of a link would be set on its target, which may lie anywhere; unknown
    // ones may be a link's.
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

HMODULE LoadSystemLibrary(const wchar_t* name) {
    wchar_t path[kPathChars];
    UINT n = GetSystemDirectoryW(path, CountOf(path));
    if (n == 0 || n >= CountOf(path)) return nullptr;
    JoinPath(path, name, path, CountOf(path));
    return LoadLibraryW(path);
}
