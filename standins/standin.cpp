// Stand-in process for the uninstall tests: keeps a library loaded, stands in for the command
// interpreter (recording how it was started and the batch file it was given), or marks that
// it ran when started under any other name.
//   standin hold LIBRARY READYFILE   load LIBRARY, create READYFILE, then wait to be ended
//   cmd.exe ARGUMENTS                the test prefix's interpreter: with OMBRIX_CAPTURE set and
//                                    a "/c" batch, copy the batch to %OMBRIX_CAPTURE% and record
//                                    the start to %OMBRIX_CAPTURE%.start; then run the real
//                                    interpreter, C:\ombrix-cmd\realcmd.exe, with the same ARGUMENTS
//   standin ...                      create "<own path>.ran" and exit with 3
#include "tests/bench/bench.h"

#include <windows.h>

#include <string>

static std::wstring Env(const wchar_t* name) {
    wchar_t value[4096];
    DWORD n = GetEnvironmentVariableW(name, value, 4096);
    return (n == 0 || n >= 4096) ? std::wstring() : std::wstring(value, n);
}

// The command line after the program's own token, as it was given.
static const wchar_t* ArgumentsOf(const wchar_t* line) {
    bool quoted = false;
    while (*line != 0 && (quoted || (*line != L' ' && *line != L'\t'))) {
        if (*line == L'"') quoted = !quoted;
        ++line;
    }
    while (*line == L' ' || *line == L'\t') ++line;
    return line;
}

static int Hold(const wchar_t* library, const wchar_t* readyFile) {
    if (LoadLibraryW(library) == nullptr) return 2;
    if (!bench::WriteFileBytes(readyFile, "loaded")) return 2;
    Sleep(600000);  // the test ends this process; this is only a backstop
    return 0;
}

// The batch file of a "/c" command line: the rest of the line without its quotes.
static std::wstring BatchOf(const wchar_t* arguments) {
    std::wstring line = arguments;
    size_t at = line.find(L"/c ");
    if (at == std::wstring::npos) return std::wstring();
    std::wstring batch = line.substr(at + 3);
    while (!batch.empty() && batch.front() == L'"') batch.erase(0, 1);
    while (!batch.empty() && batch.back() == L'"') batch.pop_back();
    return batch;
}

static int Interpret() {
    std::wstring capture = Env(L"OMBRIX_CAPTURE");
    std::wstring batch = BatchOf(ArgumentsOf(GetCommandLineW()));
    if (!capture.empty() && !batch.empty()) {
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        GetStartupInfoW(&startup);
        wchar_t folder[MAX_PATH * 4];
        DWORD n = GetCurrentDirectoryW(MAX_PATH * 4, folder);
        std::string record = "flags=" + std::to_string(startup.dwFlags) + "\r\nshow=" +
                             std::to_string(startup.wShowWindow) + "\r\ncommand=" + bench::Utf8(GetCommandLineW()) +
                             "\r\nfolder=" + bench::Utf8(std::wstring(folder, n)) + "\r\n";
        bench::WriteFileBytes(capture + L".start", record);
        bench::WriteFileBytes(capture, bench::ReadFileBytes(batch));
    }
    std::wstring real = L"C:\\ombrix-cmd\\realcmd.exe";
    std::wstring command = L"\"" + real + L"\" " + ArgumentsOf(GetCommandLineW());
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    // Without a window of its own, the echo of the batch lines stays out of the test logs.
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process)) {
        return 5;
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    return (int)code;
}

int wmain(int argc, wchar_t** argv) {
    if (argc == 4 && lstrcmpW(argv[1], L"hold") == 0) return Hold(argv[2], argv[3]);
    wchar_t self[MAX_PATH * 4];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
    std::wstring name = std::wstring(self, n).substr(std::wstring(self, n).find_last_of(L'\\') + 1);
    if (lstrcmpiW(name.c_str(), L"cmd.exe") == 0) return Interpret();
    bench::WriteFileBytes(std::wstring(self, n) + L".ran", bench::Utf8(GetCommandLineW()));
    return 3;
}
