// The batch file that removes the program file and its folder after the program has ended.
#include "uninstall/uninstall.h"

#include <wchar.h>

namespace {

// Fresh random names "Uninstall_Kva.<16 hex digits>.Bat" are tried; one that stands already was
// made by someone else, and the next try takes another.
const int kBatchNameTries = 16;
// Fresh names "<program>.<n>.exe" tried for the running program.
const unsigned kSpareProgramNames = 1000;

// The lines of the batch file. Every path stands in double quotes; its "%" are doubled.
const char kWaitLine[] = "\"%s\" /wait\r\n";
const char kDeleteLine[] = "del \"%s\"\r\n";
const char kRemoveFolderLine[] = "rd \"%s\"\r\n";
const char kGoneLine[] = "if not exist \"%s\" goto done\r\n";
const char kDoneLine[] = ":done\r\n";
const char kWarningLine[] = "if exist \"%s\" \"%s\" /warning\r\n";
const int kDeleteAttempts = 5;

bool WriteLine(FILE* batch, const char* format, const char* first, const char* second) {
    char line[2 * kBatchNameBytes + 64];
    int length = FormatBoundedNarrow(line, CountOf(line), format, first, second);
    // A cut line would name something else; it is never written.
    if (length < 0) return false;
    LogEvent(L"batch file line: %.*s", length - 2, line);
    return fwrite(line, 1, (size_t)length, batch) == (size_t)length;
}

bool EncodeOrEmpty(const wchar_t* path, char* out, size_t size) {
    if (EncodeBatchPath(path, GetOEMCP(), out, size)) return true;
    out[0] = 0;
    return false;
}

// Makes the batch file as a new file under a random name in the given folder. That folder may be
// one every user can create entries in, so a name anyone could know beforehand could already be
// theirs; a random one, created only if it is new, is the run's own.
FILE* CreateBatchFileIn(const wchar_t* folder, wchar_t* batchPath, size_t size) {
    for (int attempt = 0; attempt < kBatchNameTries; ++attempt) {
        uint32_t random[2];
        wchar_t name[64];
        if (!FillRandom(random, sizeof(random))) return nullptr;
        FormatBounded(name, CountOf(name), L"Uninstall_Kva.%08lX%08lX.Bat", (unsigned long)random[0],
                      (unsigned long)random[1]);
        if (!JoinWhole(folder, name, batchPath, size)) return nullptr;
        FILE* batch = CreateNewStream(batchPath);
        if (batch != nullptr) return batch;
        // Only a name that is taken is worth passing over; another failure stays the same.
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return nullptr;
    }
    return nullptr;
}

// The batch runs with the uninstall's rights while it waits for the program to end, so it is made
// where the user's unelevated side cannot rewrite or replace it: the system's own "Temp". The
// user's own temporary folder, theirs to rewrite, serves only a run that has no more rights than
// the user.
FILE* CreateBatchFile(wchar_t* batchPath, size_t size) {
    wchar_t folder[kPathChars];
    if (SystemTempFolder(folder, CountOf(folder)) && IsFolderAttr(GetPathAttributes(folder))) {
        FILE* batch = CreateBatchFileIn(folder, batchPath, size);
        if (batch != nullptr) return batch;
    }
    if (IsElevatedRun()) return nullptr;
    DWORD temp = GetTempPathW(CountOf(folder), folder);
    return temp != 0 && temp < CountOf(folder) ? CreateBatchFileIn(folder, batchPath, size) : nullptr;
}

// The system's own interpreter by its full path: COMSPEC and the search path come from the user's
// environment, which must never choose what the elevated uninstall runs.
bool FindInterpreter(wchar_t* out, size_t size) {
    UINT got = GetSystemDirectoryW(out, (UINT)size);
    return got != 0 && got < size && JoinWhole(out, L"cmd.exe", out, size);
}

// Renames the running program to the first free "<path>.<n>.exe" beside it (a running program can
// be renamed, not deleted); false when it keeps its name.
bool SetAside(const wchar_t* path, wchar_t* out, size_t size) {
    for (unsigned n = 0; n < kSpareProgramNames; ++n) {
        if (FormatBounded(out, size, L"%ls.%u.exe", path, n) < 0) return false;
        if (MoveFileW(path, out)) {
            LogEvent(L"file: renamed the running program %ls to %ls", path, out);
            return true;
        }
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

// Writes the batch lines for the program file as it is now named and starts the interpreter on them.
bool RunBatch(FILE* batch, const wchar_t* batchPath, const wchar_t* programPath, const wchar_t* folder) {
    BatchNames names;
    // cmd.exe reads a batch file in the OEM code page; the batch file exists now, so its short
    // form can stand in when its own name cannot be written there.
    bool programNamed = EncodeOrEmpty(programPath, names.program, CountOf(names.program));
    EncodeOrEmpty(folder, names.folder, CountOf(names.folder));
    EncodeOrEmpty(batchPath, names.batch, CountOf(names.batch));
    if (!FinishBatchFile(batch, batchPath, names, g_run.silent)) return false;

    wchar_t interpreter[kPathChars];
    wchar_t command[kTextChars];
    // /d skips the user's AutoRun commands, /v:off the delayed expansion of "!" the user may have
    // switched on, and /s with the outer quotes keeps every character of the path ("&", "^", "(").
    bool ready = FindInterpreter(interpreter, CountOf(interpreter)) &&
                 FormatBounded(command, CountOf(command), L"\"%ls\" /d /v:off /s /c \"\"%ls\"\"", interpreter,
                               batchPath) >= 0;

    // The batch must not keep the program folder open as its working directory.
    SetCurrentDirectoryW(L"..");
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    // Named as the program to start, the interpreter is never looked for along the search path.
    bool started = ready && CreateProcessW(interpreter, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                           &startup, &process);
    LogEvent(L"batch file %ls: %ls", batchPath, started ? L"started hidden" : L"could not be started");
    if (started) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        RemoveFile(batchPath);  // nothing will run it, and nothing else would delete it
    }
    // The batch cannot name the program file, so it cannot delete it or say so: tell the user now.
    if (!programNamed && !g_run.silent) ShowManualDeletionNotice();
    return started && programNamed;
}

}  // namespace

bool StartRemovalBatch(const wchar_t* runningPath, const wchar_t* folder) {
    wchar_t batchPath[kPathChars];
    FILE* batch = CreateBatchFile(batchPath, CountOf(batchPath));
    if (batch == nullptr) return false;
    // The running program steps aside to a fresh name, and the batch deletes only that name: an
    // installer that copies a new program into the folder meanwhile keeps it.
    wchar_t programPath[kPathChars];
    if (!SetAside(runningPath, programPath, CountOf(programPath))) {
        CopyString(programPath, runningPath, CountOf(programPath));
    }
    bool started = RunBatch(batch, batchPath, programPath, folder);
    // Where the batch will not remove it, the program keeps its own name.
    if (!started && wcscmp(programPath, runningPath) != 0) MoveFileW(programPath, runningPath);
    return started;
}

bool EncodeBatchText(const wchar_t* text, UINT codePage, char* out, size_t size) {
    if (size == 0) return false;
    out[0] = 0;
    wchar_t doubled[2 * kPathChars];
    size_t length = 0;
    for (const wchar_t* p = text; *p != 0; ++p) {
        // A quote would end the quoted path early; control characters would split the line.
        if (*p == L'"' || *p < 0x20) return false;
        if (length + 2 >= CountOf(doubled)) return false;
        if (*p == L'%') doubled[length++] = L'%';
        doubled[length++] = *p;
    }
    doubled[length] = 0;
    if (length == 0) return false;
    // Nothing may be replaced by a look-alike: it would name another file.
    bool utf8 = codePage == CP_UTF8;
    BOOL usedDefault = FALSE;
    int bytes = WideCharToMultiByte(codePage, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS, doubled, -1, out,
                                    (int)size, nullptr, utf8 ? nullptr : &usedDefault);
    wchar_t back[2 * kPathChars];
    bool exact = bytes != 0 && !usedDefault &&
                 MultiByteToWideChar(codePage, 0, out, -1, back, (int)CountOf(back)) != 0 &&
                 wcscmp(back, doubled) == 0;
    if (!exact) out[0] = 0;
    return exact;
}

bool EncodeBatchPath(const wchar_t* path, UINT codePage, char* out, size_t size) {
    if (EncodeBatchText(path, codePage, out, size)) return true;
    wchar_t shortPath[kPathChars];
    DWORD got = GetShortPathNameW(path, shortPath, CountOf(shortPath));
    if (got == 0 || got >= CountOf(shortPath)) return false;
    return EncodeBatchText(shortPath, codePage, out, size);
}

bool FinishBatchFile(FILE* batch, const wchar_t* batchPath, const BatchNames& names, bool silent) {
    bool written = WriteBatchLines(batch, names, silent);
    bool closed = fclose(batch) == 0;
    // The interpreter would run whatever part of it there is.
    if (written && closed) return true;
    RemoveFile(batchPath);
    return false;
}

bool WriteBatchLines(FILE* batch, const BatchNames& names, bool silent) {
    // A path that cannot be written leaves out its lines rather than name something else.
    bool program = names.program[0] != 0;
    bool folder = names.folder[0] != 0;
    bool ok = true;
    if (program) ok &= WriteLine(batch, kWaitLine, names.program, nullptr);
    for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
        if (program) ok &= WriteLine(batch, kDeleteLine, names.program, nullptr);
        if (folder) ok &= WriteLine(batch, kRemoveFolderLine, names.folder, nullptr);
        if (program) ok &= WriteLine(batch, kGoneLine, names.program, nullptr);
    }
    ok &= WriteLine(batch, kDoneLine, nullptr, nullptr);
    if (program && !silent) ok &= WriteLine(batch, kWarningLine, names.program, names.program);
    // A batch path that the OEM code page cannot write, not even in its short form, leaves the
    // batch file behind in the temporary folder: a line that named it wrongly could delete
    // another file there, and a batch file left over does no harm.
    if (names.batch[0] != 0) ok &= WriteLine(batch, kDeleteLine, names.batch, nullptr);
    return ok;
}
