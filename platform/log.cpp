// The run's log: one UTF-8 line per change the run makes to the machine, time-stamped, in a file
// the run creates new. A log that cannot be made or written is left out; it never changes what
// the run does.
#include "platform/platform.h"

#include <stdarg.h>

namespace {

HANDLE g_log = INVALID_HANDLE_VALUE;

// CREATE_NEW: nothing that stands at the name (a link whose target is missing too) is opened.
HANDLE CreateNew(const wchar_t* path) {
    return CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

bool OpenRunLog(const wchar_t* path, const wchar_t* folder, const wchar_t* kind) {
    CloseRunLog();
    if (path != nullptr && path[0] != 0) {
        g_log = CreateNew(path);
        return g_log != INVALID_HANDLE_VALUE;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    // A fresh name beside earlier logs of the day: "Ombrix Uninstall 2026-12-09 #001.log".
    for (unsigned n = 1; n <= 999 && folder != nullptr; ++n) {
        wchar_t name[kPathChars];
        if (FormatBounded(name, CountOf(name), L"%ls%ls %04u-%02u-%02u #%03u.log", folder, kind, now.wYear,
                          now.wMonth, now.wDay, n) < 0)
            return false;
        g_log = CreateNew(name);
        if (g_log != INVALID_HANDLE_VALUE) return true;
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

bool IsLogging() { return g_log != INVALID_HANDLE_VALUE; }

void LogEvent(const wchar_t* format, ...) {
    if (g_log == INVALID_HANDLE_VALUE) return;
    DWORD error = GetLastError();  // the caller's result stays readable after the log line
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t line[kTextChars * 3];
    int stamp = FormatBounded(line, CountOf(line), L"%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear, now.wMonth,
                              now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    va_list args;
    va_start(args, format);
    FormatBoundedV(line + stamp, CountOf(line) - stamp - 2, format, args);
    va_end(args);
    AppendString(line, L"\r\n", CountOf(line));
    char bytes[kTextChars * 9];
    int count = WideCharToMultiByte(CP_UTF8, 0, line, -1, bytes, (int)sizeof(bytes), nullptr, nullptr);
    DWORD written = 0;
    // A log that cannot be written any more is left out from here on.
    if (count <= 1 || !WriteFile(g_log, bytes, (DWORD)count - 1, &written, nullptr)) CloseRunLog();
    SetLastError(error);
}

void LogFile(const wchar_t* what, const wchar_t* path, bool done) {
    if (done) {
        LogEvent(L"file: %ls %ls", what, path);
    } else {
        LogEvent(L"file: %ls %ls failed, error %lu (no change)", what, path, (unsigned long)GetLastError());
    }
}

void CloseRunLog() {
    if (g_log == INVALID_HANDLE_VALUE) return;
    CloseHandle(g_log);
    g_log = INVALID_HANDLE_VALUE;
}
