/* Stand-in for the archiver Ombrix.exe: carries the icons that shortcuts and file types name
   (indexes 0 and 1) and, when OMBRIX_STANDIN_RECORD names a file, appends the arguments it was
   started with (the quoted archive path) to that file as a UTF-8 line, then exits. */
#include <windows.h>

/* The command line after the program's own, possibly quoted, name. */
static const wchar_t* Arguments(const wchar_t* line) {
    if (*line == L'"') {
        ++line;
        while (*line != 0 && *line != L'"') ++line;
        if (*line == L'"') ++line;
    } else {
        while (*line != 0 && *line != L' ' && *line != L'\t') ++line;
    }
    while (*line == L' ' || *line == L'\t') ++line;
    return line;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show) {
    wchar_t recordPath[MAX_PATH * 4];
    const wchar_t* args = Arguments(GetCommandLineW());
    char utf8[8192];
    int bytes;
    HANDLE file;
    DWORD written = 0;
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
    DWORD length = GetEnvironmentVariableW(L"OMBRIX_STANDIN_RECORD", recordPath, MAX_PATH * 4);
    if (length == 0 || length >= MAX_PATH * 4) return 0;
    bytes = WideCharToMultiByte(CP_UTF8, 0, args, -1, utf8, (int)sizeof(utf8) - 2, NULL, NULL);
    if (bytes <= 0) return 1;
    utf8[bytes - 1] = '\r';
    utf8[bytes] = '\n';
    file = CreateFileW(recordPath, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return 1;
    WriteFile(file, utf8, (DWORD)bytes + 1, &written, NULL);
    CloseHandle(file);
    return written == (DWORD)bytes + 1 ? 0 : 1;
}
