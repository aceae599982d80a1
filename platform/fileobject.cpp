// The one file class: a Win32 handle with long-path retries, split reads and error reports.
#include "platform.h"

namespace {

const int kCharDeviceBlock = 20000;  // largest read a console or pipe is asked for
const int kLockedReadBlock = 32768;  // largest read retried after a lock violation
const int64_t kFourGiB = 4294967296LL;

bool EndsWithDotOrSpace(const wchar_t* name) {
    size_t length = wcslen(name);
    return length > 0 && (name[length - 1] == L'.' || name[length - 1] == L' ');
}

// SetFilePointer signals failure with a value that is also a valid low half, so the error
// code has to decide; it is cleared first because success does not always reset it.
bool MovePointer(HANDLE handle, int64_t offset, DWORD method, int64_t* position) {
    LONG high = static_cast<LONG>(offset >> 32);
    SetLastError(NO_ERROR);
    DWORD low = SetFilePointer(handle, static_cast<LONG>(offset & 0xFFFFFFFF), &high, method);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
    if (position != nullptr) *position = (static_cast<int64_t>(high) << 32) | low;
    return true;
}

}  // namespace

FileObject::~FileObject() {
    if (!IsOpen()) return;
    bool removeIt = created_ && deleteUnclosed_;
    Close();
    if (!removeIt) return;
    // A name that ends with a dot or a space was made through its long form; the plain form
    // would name a different file (Windows drops the trailing character).
    wchar_t longName[kPathChars];
    if (createdLongForm_ && MakeLongPath(name_, longName, CountOf(longName))) {
        DeleteFileW(longName);
    } else {
        RemoveFile(name_);
    }
}

bool FileObject::Open(const wchar_t* name, unsigned mode) {
    if (IsOpen()) Close();  // never leak the handle of an earlier file
    lastErrorKind_ = kFileErrorNone;
    DWORD access = (mode & kOpenWriteOnly) ? GENERIC_WRITE : GENERIC_READ;
    if (mode & kOpenWrite) access |= GENERIC_WRITE;
    DWORD share = (mode & kOpenNoShareRead) ? 0 : FILE_SHARE_READ;
    if (mode & kOpenShareWrite) share |= FILE_SHARE_WRITE;

    HANDLE handle = INVALID_HANDLE_VALUE;
    // Either form may find nothing there while the other failed for another reason (its length).
    bool notFound = false;
    TryWithLongPath(name, [&](const wchar_t* path) {
        handle = CreateFileW(path, access, share, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) notFound = true;
        return handle != INVALID_HANDLE_VALUE;
    });
    if (handle == INVALID_HANDLE_VALUE) {
        if (notFound) lastErrorKind_ = kFileErrorNotFound;
        return false;
    }
    handle_ = handle;
    created_ = false;
    createdLongForm_ = false;
    readFailed_ = false;
    CopyString(name_, name, CountOf(name_));
    return true;
}

bool FileObject::OpenWithReport(const wchar_t* name) {
    if (Open(name, 0)) return true;
    g_errors.ReportOpenError(name);
    return false;
}

bool FileObject::Create(const wchar_t* name, unsigned mode) {
    if (IsOpen()) Close();
    DWORD access = (mode & kCreateWriteOnly) ? GENERIC_WRITE : GENERIC_READ | GENERIC_WRITE;
    DWORD share = (mode & kCreateShareRead) ? FILE_SHARE_READ : 0;

    HANDLE handle = INVALID_HANDLE_VALUE;
    // Under its plain name Windows would drop a trailing dot or space and make another file: such
    // a name is made through its long form alone.
    bool plainNameMeant = !EndsWithDotOrSpace(name) || (mode & kCreateTrailingDot);
    bool longForm = false;
    TryWithLongPath(name, [&](const wchar_t* path) {
        longForm = path != name;
        if (!longForm && !plainNameMeant) return false;
        handle = CreateFileW(path, access, share, nullptr, CREATE_ALWAYS, 0, nullptr);
        return handle != INVALID_HANDLE_VALUE;
    });
    createdLongForm_ = longForm && handle != INVALID_HANDLE_VALUE;
    handle_ = handle;
    created_ = true;
    readFailed_ = false;
    CopyString(name_, name, CountOf(name_));
    return IsOpen();
}

bool FileObject::Close() {
    bool closed = true;
    if (IsOpen()) {
        closed = CloseHandle(handle_) != FALSE;
        handle_ = INVALID_HANDLE_VALUE;
        if (!closed && reportErrors_) g_errors.ReportCloseError(name_);
    }
    return closed;
}

int FileObject::RawRead(void* buffer, int size) {
    DWORD got = 0;
    if (ReadFile(handle_, buffer, static_cast<DWORD>(size), &got, nullptr)) {
        return static_cast<int>(got);
    }
    DWORD error = GetLastError();
    DWORD type = GetFileType(handle_);
    if ((type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE) && size > kCharDeviceBlock) {
        return RawRead(buffer, kCharDeviceBlock);
    }
    // Network files can refuse large reads that touch a locked range; smaller ones may pass.
    if (size > kLockedReadBlock && error == ERROR_LOCK_VIOLATION) {
        return RawRead(buffer, kLockedReadBlock);
    }
    return -1;
}

int FileObject::Read(void* buffer, int size) {
    if (readFailed_) return 0;
    if (size <= 0) return 0;
    for (;;) {
        int got = RawRead(buffer, size);
        if (got != -1) return got;
        lastErrorKind_ = kFileErrorRead;
        if (!reportErrors_) return -1;
        if (!g_errors.ReportReadError(name_)) break;
    }
    readFailed_ = true;
    return 0;
}

bool FileObject::Seek(int64_t offset, DWORD method) {
    if (!IsOpen()) return true;
    if (offset < 0 && method == FILE_CURRENT) {
        offset += Tell();
        method = FILE_BEGIN;
    } else if (offset < 0 && method == FILE_END) {
        offset += FileLength();
        method = FILE_BEGIN;
    }
    if (MovePointer(handle_, offset, method, nullptr)) return true;
    if (reportErrors_) g_errors.ReportSeekError(name_);
    return false;
}

int64_t FileObject::Tell() {
    int64_t position = -1;
    if (IsOpen() && MovePointer(handle_, 0, FILE_CURRENT, &position)) return position;
    if (reportErrors_) g_errors.ReportSeekError(name_);
    return -1;
}

int64_t FileObject::FileLength() {
    int64_t position = Tell();
    Seek(0, FILE_END);
    int64_t length = Tell();
    Seek(position, FILE_BEGIN);
    return length;
}

bool FileObject::Write(const void* data, int size) {
    if (size <= 0) return true;
    DWORD written = 0;
    bool ok = WriteFile(handle_, data, static_cast<DWORD>(size), &written, nullptr) &&
              written == static_cast<DWORD>(size);
    if (ok || !reportErrors_) return ok;

    DWORD error = GetLastError();
    int64_t position = Tell();
    // A block that would carry the file over 4 GiB on a disk with room to spare points at a
    // file system that cannot hold such files (FAT32).
    if (GetFreeSpace(name_) > static_cast<uint64_t>(size) && position + size >= kFourGiB &&
        position - size < kFourGiB) {
        g_errors.ReportFileTooLarge(name_);
    }
    SetLastError(error);
    if (g_errors.AskWriteRetry(name_)) return Write(data, size);
    return false;
}
