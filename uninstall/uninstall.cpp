// Uninstall driver: confirms, removes the integration, deletes what Uninstall.lst names and
// hands the program file and its folder to a hidden batch file.
#include "uninstall/uninstall.h"

#include "language/language.h"
#include "resources/resource.h"

#include <wchar.h>

namespace {

const wchar_t kListName[] = L"Uninstall.lst";
const wchar_t kBatchName[] = L"Uninstall_Kva.Bat";
// Help index files the help viewer leaves beside the program.
const wchar_t* const kHelpIndexFiles[] = {L"ombrix.gid", L"ombrix.fts"};

// The lines of the batch file. Every path stands in double quotes; its "%" are doubled.
const char kWaitLine[] = "\"%s\" /wait\r\n";
const char kDeleteLine[] = "del \"%s\"\r\n";
const char kRemoveFolderLine[] = "rd \"%s\"\r\n";
const char kGoneLine[] = "if not exist \"%s\" goto done\r\n";
const char kDoneLine[] = ":done\r\n";
const char kWarningLine[] = "if exist \"%s\" \"%s\" /warning\r\n";
const int kDeleteAttempts = 5;

// Closes a C stream on every way out.
class StreamHolder {
public:
    explicit StreamHolder(FILE* stream) : stream_(stream) {}
    ~StreamHolder() { Close(); }
    StreamHolder(const StreamHolder&) = delete;
    StreamHolder& operator=(const StreamHolder&) = delete;
    FILE* Get() const { return stream_; }
    void Close() {
        if (stream_ != nullptr) fclose(stream_);
        stream_ = nullptr;
    }

private:
    FILE* stream_;
};

// A call on a path, tried once more in the long-path form when the plain call fails.
template <typename Call>
bool OnPath(const wchar_t* path, Call call) {
    if (call(path)) return true;
    wchar_t longPath[kPathChars];
    return MakeLongPath(path, longPath, CountOf(longPath)) && call(longPath);
}

bool ClearAttributes(const wchar_t* path) {
    return OnPath(path, [](const wchar_t* p) { return SetFileAttributesW(p, FILE_ATTRIBUTE_NORMAL) != 0; });
}

bool RemoveFolder(const wchar_t* path) {
    return OnPath(path, [](const wchar_t* p) { return RemoveDirectoryW(p) != 0; });
}

bool ScheduleDeletion(const wchar_t* path) {
    return OnPath(path, [](const wchar_t* p) {
        return MoveFileExW(p, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
    });
}

bool MovePath(const wchar_t* from, const wchar_t* to) {
    if (MoveFileW(from, to)) return true;
    wchar_t longFrom[kPathChars];
    wchar_t longTo[kPathChars];
    return MakeLongPath(from, longFrom, CountOf(longFrom)) && MakeLongPath(to, longTo, CountOf(longTo)) &&
           MoveFileW(longFrom, longTo);
}

// Joins only when the whole fits: a cut path would name some other file.
bool JoinWhole(const wchar_t* folder, const wchar_t* name, wchar_t* out, size_t size) {
    if (wcslen(folder) + 1 + wcslen(name) >= size) return false;
    JoinPath(folder, name, out, size);
    return true;
}

bool IsDotsAndSpaces(const wchar_t* part, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (part[i] != L'.' && part[i] != L' ') return false;
    }
    return true;
}

// Names Windows maps to devices in any folder, with or without an extension.
bool IsDeviceName(const wchar_t* part, size_t length) {
    size_t base = 0;
    while (base < length && part[base] != L'.') ++base;
    while (base > 0 && part[base - 1] == L' ') --base;
    wchar_t name[8];
    if (base == 0 || base >= CountOf(name)) return false;
    for (size_t i = 0; i < base; ++i) name[i] = ToUpperAscii(part[i]);
    name[base] = 0;
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* device : kDevices) {
        if (wcscmp(name, device) == 0) return true;
    }
    if (base == 4 && (wcsncmp(name, L"COM", 3) == 0 || wcsncmp(name, L"LPT", 3) == 0)) {
        wchar_t digit = name[3];
        return (digit >= L'1' && digit <= L'9') || digit == 0x00B9 || digit == 0x00B2 || digit == 0x00B3;
    }
    return false;
}

// Renames a file in use to a free "<path>.<n>.tmp" and has Windows delete it at restart.
void DeleteAtRestart(const wchar_t* path) {
    wchar_t spare[kPathChars];
    bool haveSpare = false;
    for (unsigned n = 0; n < 1000; ++n) {
        haveSpare = FormatBounded(spare, CountOf(spare), L"%ls.%u.tmp", path, n) >= 0;
        if (!haveSpare || GetPathAttributes(spare) == INVALID_FILE_ATTRIBUTES) break;
    }
    bool renamed = haveSpare && MovePath(path, spare);
    ScheduleDeletion(renamed ? spare : path);
}

// The attributes of an entry, and whether it is missing. The long form is asked only where
// it can find more than the plain path: every later pass asks again for every entry.
DWORD EntryAttributes(const wchar_t* path, bool* missing) {
    DWORD attributes = GetFileAttributesW(path);
    DWORD error = GetLastError();
    bool notFound = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    if (attributes == INVALID_FILE_ATTRIBUTES && (wcslen(path) >= MAX_PATH || !notFound)) {
        wchar_t longPath[kPathChars];
        if (MakeLongPath(path, longPath, CountOf(longPath))) {
            attributes = GetFileAttributesW(longPath);
            error = GetLastError();
        }
    }
    *missing = attributes == INVALID_FILE_ATTRIBUTES &&
               (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
    return attributes;
}

// Deletes one entry; true when something was deleted.
bool DeleteEntry(const wchar_t* path, const wchar_t* programName, bool* restartNeeded) {
    bool missing = false;
    DWORD attributes = EntryAttributes(path, &missing);
    // A missing entry has nothing to delete; other failures still get their attempt.
    if (missing) return false;
    bool known = attributes != INVALID_FILE_ATTRIBUTES;
    if (MayClearAttributes(attributes)) ClearAttributes(path);
    // A folder link goes as the link (RemoveDirectoryW), a file link with DeleteFileW.
    if (IsFolderAttr(attributes)) return RemoveFolder(path);
    if (RemoveFile(path)) return true;
    if (!known) return false;
    // The program file goes with the batch file, the list after the passes.
    const wchar_t* name = NamePart(path);
    if (CompareNoCase(name, programName) == 0 || CompareNoCase(name, kListName) == 0) return false;
    *restartNeeded = true;
    DeleteAtRestart(path);
    return false;
}

// Clears the attributes of a file that are in the way of its deletion, never those of a link.
void ClearAttributesOf(const wchar_t* path) {
    if (MayClearAttributes(GetPathAttributes(path))) ClearAttributes(path);
}

bool WriteLine(FILE* batch, const char* format, const char* first, const char* second) {
    char line[2 * kBatchNameBytes + 64];
    int length = FormatBoundedNarrow(line, CountOf(line), format, first, second);
    // A cut line would name something else; it is never written.
    if (length < 0) return false;
    return fwrite(line, 1, (size_t)length, batch) == (size_t)length;
}

bool EncodeOrEmpty(const wchar_t* path, char* out, size_t size) {
    if (EncodeBatchPath(path, GetOEMCP(), out, size)) return true;
    out[0] = 0;
    return false;
}

// Writes the batch file and starts it hidden; the program ends right after, which frees its file.
// The folder is the program folder as the rd lines remove it: without a trailing backslash,
// except for a drive root.
void StartRemovalBatch(const wchar_t* programPath, const wchar_t* folder) {
    wchar_t batchPath[kPathChars];
    DWORD got = GetTempPathW(CountOf(batchPath), batchPath);
    if (got == 0 || got >= CountOf(batchPath)) return;
    if (wcslen(batchPath) + wcslen(kBatchName) >= CountOf(batchPath)) return;
    AppendString(batchPath, kBatchName, CountOf(batchPath));

    BatchNames names;
    FILE* batch = OpenStream(batchPath, L"wb");
    if (batch == nullptr) return;
    // cmd.exe reads a batch file in the OEM code page; the batch file exists now, so its short
    // form can stand in when its own name cannot be written there.
    bool programNamed = EncodeOrEmpty(programPath, names.program, CountOf(names.program));
    EncodeOrEmpty(folder, names.folder, CountOf(names.folder));
    EncodeOrEmpty(batchPath, names.batch, CountOf(names.batch));
    if (!FinishBatchFile(batch, batchPath, names, g_run.silent)) return;

    wchar_t interpreter[kPathChars];
    DWORD n = GetEnvironmentVariableW(L"COMSPEC", interpreter, CountOf(interpreter));
    if (n == 0 || n >= CountOf(interpreter)) interpreter[0] = 0;
    // Unquoted, a path with blanks would let a program named after its first word run instead.
    const wchar_t* format = wcschr(interpreter, L'"') == nullptr ? L"\"%ls\" /c \"%ls\"" : L"%ls /c \"%ls\"";
    wchar_t command[kTextChars];
    if (FormatBounded(command, CountOf(command), format, interpreter, batchPath) < 0) return;

    // The batch must not keep the program folder open as its working directory.
    SetCurrentDirectoryW(L"..");
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    if (CreateProcessW(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    // The batch cannot name the program file, so it cannot delete it or say so: tell the user now.
    if (!programNamed && !g_run.silent) ShowManualDeletionNotice();
}

}  // namespace

ListLine ReadListLine(FILE* list, char* line, size_t size) {
    size_t length = 0;
    bool any = false;
    bool damaged = false;
    int c;
    while ((c = getc(list)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (c == 0) damaged = true;
        if (length + 1 < size) line[length] = (char)c;
        if (length < size) ++length;
    }
    // A line that does not fit is one entry too long to use, never several shorter ones.
    bool usable = any && !damaged && size > 0 && length < size - 1;
    if (size > 0) line[usable ? length : 0] = 0;
    if (!any) return ListLine::End;
    return usable ? ListLine::Entry : ListLine::Skipped;
}

bool TrimListEntry(char* line) {
    size_t length = strlen(line);
    while (length > 0 && strchr(" \t\r\n", line[length - 1]) != nullptr) --length;
    line[length] = 0;
    return length > 0;
}

bool IsSafeListEntry(const wchar_t* entry) {
    // Rooted, drive, UNC and device forms, and streams: nothing that could leave the folder.
    if (entry[0] == 0 || IsPathSeparator(entry[0]) || wcschr(entry, L':') != nullptr) return false;
    const wchar_t* part = entry;
    for (;;) {
        const wchar_t* end = part;
        while (*end != 0 && !IsPathSeparator(*end)) ++end;
        size_t length = end - part;
        // "..", and what Windows trims to it, climbs out of the folder.
        if (length > 0 && (IsDotsAndSpaces(part, length) || IsDeviceName(part, length))) return false;
        if (*end == 0) return true;
        part = end + 1;
    }
}

bool MakeEntryPath(const wchar_t* programFolder, const char* entry, wchar_t* out, size_t size) {
    wchar_t wide[kPathChars];
    if (MultiByteToWideChar(CP_ACP, 0, entry, -1, wide, (int)CountOf(wide)) == 0) return false;
    if (!IsSafeListEntry(wide)) return false;
    if (wcslen(programFolder) + wcslen(wide) >= size) return false;
    CopyString(out, programFolder, size);
    AppendString(out, wide, size);
    return true;
}

bool ProgramFolderOf(const wchar_t* programPath, wchar_t* out, size_t size) {
    const wchar_t* slash = wcsrchr(programPath, L'\\');
    if (slash == nullptr || size == 0) return false;
    size_t length = slash - programPath;
    if (length > 0 && slash[-1] == L':') ++length;  // a drive root keeps its backslash
    if (length >= size) return false;
    wmemcpy(out, programPath, length);
    out[length] = 0;
    return true;
}

uint32_t RunDeletionPasses(const wchar_t* programFolder, const wchar_t* programName, FILE* list,
                           bool* restartNeeded) {
    uint32_t passes = 0;
    for (;;) {
        ++passes;
        uint32_t progress = 0;
        rewind(list);
        char line[kPathChars];
        ListLine kind;
        while ((kind = ReadListLine(list, line, CountOf(line))) != ListLine::End) {
            if (kind != ListLine::Entry || !TrimListEntry(line)) continue;
            wchar_t path[kPathChars];
            if (!MakeEntryPath(programFolder, line, path, CountOf(path))) continue;
            // Below a link the entry would name something outside the program folder.
            if (PassesThroughLink(programFolder, path, GetPathAttributes)) continue;
            if (DeleteEntry(path, programName, restartNeeded)) ++progress;
        }
        // Each further pass follows one that deleted something, so the passes end.
        if (progress == 0) return passes;
    }
}

bool MayClearAttributes(DWORD attributes) {
    // Only these stand in the way of a deletion. Those of a link would be set on its target,
    // which may lie anywhere; unknown ones may be a link's.
    const DWORD kBlocking = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & kBlocking) != 0 && !IsReparseAttr(attributes);
}

bool PassesThroughLink(const wchar_t* programFolder, const wchar_t* entryPath, AttributeQuery query) {
    size_t start = wcslen(programFolder);
    if (wcsncmp(entryPath, programFolder, start) != 0) return true;
    wchar_t folder[kPathChars];
    for (size_t i = start; entryPath[i] != 0; ++i) {
        // Each folder on the way, named without its separator; empty parts name nothing new.
        if (!IsPathSeparator(entryPath[i]) || i == start || IsPathSeparator(entryPath[i - 1])) continue;
        if (i >= CountOf(folder)) return true;
        wmemcpy(folder, entryPath, i);
        folder[i] = 0;
        DWORD attributes = query(folder);
        if (attributes == INVALID_FILE_ATTRIBUTES || IsReparseAttr(attributes)) return true;
    }
    return false;
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
    if (names.batch[0] != 0) ok &= WriteLine(batch, kDeleteLine, names.batch, nullptr);
    return ok;
}

void RunUninstall() {
    wchar_t programPath[kPathChars];
    DWORD got = GetModuleFileNameW(nullptr, programPath, CountOf(programPath));
    if (got == 0 || got >= CountOf(programPath)) return;
    wchar_t folder[kPathChars];
    if (!ProgramFolderOf(programPath, folder, CountOf(folder))) return;
    SetCurrentDirectoryW(folder);
    wchar_t programFolder[kPathChars];
    CopyString(programFolder, folder, CountOf(programFolder));
    AddTrailingBackslash(programFolder, CountOf(programFolder));

    if (!g_run.silent &&
        ShowMessageBox(nullptr, GetMessageText(IDS_CONTINUEUNINSTALL), GetMessageText(IDS_UNINSTALLKVA),
                       MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) != IDYES) {
        return;
    }

    // The list is opened by its full path: the current directory is not guaranteed to be the
    // program folder (setting it can fail), and a list elsewhere must never be obeyed.
    wchar_t listPath[kPathChars];
    StreamHolder list(JoinWhole(programFolder, kListName, listPath, CountOf(listPath)) ? OpenStream(listPath, L"rb")
                                                                                      : nullptr);
    if (list.Get() == nullptr) {
        wchar_t text[200];
        // A translator's text: only its one %s is filled in.
        FormatWithOneArg(text, CountOf(text), GetMessageText(IDS_CANNOTOPENLIST), kListName);
        ShowMessageBox(nullptr, text, GetMessageText(IDS_UNINSTALLKVA), MB_ICONERROR | MB_SETFOREGROUND);
        return;
    }

    // Shown after the language library is gone.
    wchar_t rebootText[256];
    wchar_t titleText[256];
    CopyString(rebootText, GetMessageText(IDS_REBOOTREQUIRED), CountOf(rebootText));
    CopyString(titleText, GetMessageText(IDS_UNINSTALLKVA), CountOf(titleText));

    RemoveIntegration();
    // The library file can then be deleted like any other.
    ReleaseLanguageLibrary();

    for (const wchar_t* name : kHelpIndexFiles) {
        wchar_t path[kPathChars];
        if (!JoinWhole(programFolder, name, path, CountOf(path))) continue;
        ClearAttributesOf(path);
        RemoveFile(path);
    }

    bool restartNeeded = false;
    RunDeletionPasses(programFolder, NamePart(programPath), list.Get(), &restartNeeded);
    list.Close();
    RemoveFile(listPath);

    wchar_t cache[kPathChars];
    GetTempFolder(cache, CountOf(cache));
    if (JoinWhole(cache, L"Ombrix.exe.WebView2", cache, CountOf(cache)) && FileExists(cache)) DeleteFolderTree(cache);

    if (restartNeeded && !g_run.silent) {
        ShowMessageBox(nullptr, rebootText, titleText, MB_ICONINFORMATION | MB_SETFOREGROUND);
        if (CompareNoCase(NamePart(folder), L"Ombrix") == 0) ScheduleDeletion(folder);
    }

    StartRemovalBatch(programPath, folder);
}
