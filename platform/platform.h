// Platform layer: strings, path text, file-system calls, links, the folder-tree deletion, text
// decoding, versions and error reporting. Only this folder wraps the file system and the Win32
// helpers the rest of the program shares.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <stdarg.h>
#include <stdint.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>

// windows.h still carries a 16-bit macro of this name.
#undef GetFreeSpace

enum : size_t {
    kPathChars = 2048,      // every path buffer
    kRegPathChars = 512,    // registry key paths
    kTextChars = 1024,      // message texts and formatted lines
};

/* strings.cpp */
void CopyString(wchar_t* dest, const wchar_t* src, size_t capacity);
void AppendString(wchar_t* dest, const wchar_t* src, size_t capacity);
void CopyStringA(char* dest, const char* src, size_t capacity);
void AppendStringA(char* dest, const char* src, size_t capacity);
// printf-style into a fixed buffer; wide strings are passed as %ls. Returns the number of
// characters written, or -1 when the output was cut to capacity - 1 characters.
int FormatBounded(wchar_t* dest, size_t capacity, const wchar_t* format, ...);
int FormatBoundedV(wchar_t* dest, size_t capacity, const wchar_t* format, va_list args);
int FormatBoundedNarrow(char* dest, size_t capacity, const char* format, ...);
// Formats a text that may come from a translator: the first "%s" (or "%ls") takes the one
// argument, "%%" gives "%", and every other % sequence is copied as it stands. Never reads
// an argument that was not passed. Returns the length, or -1 when cut.
int FormatWithOneArg(wchar_t* dest, size_t capacity, const wchar_t* format, const wchar_t* arg);
// Copies length characters of text into a new malloc block, terminated; running out of memory
// is fatal.
wchar_t* CopyToHeap(const wchar_t* text, size_t length);
bool WideFromAnsi(const char* src, wchar_t* dest, size_t capacity);
bool AnsiFromWide(const wchar_t* src, char* dest, size_t capacity);
bool IsValidUtf8(const unsigned char* bytes, size_t count);
bool Utf8ToWide(const char* src, wchar_t* dest, size_t capacity);
void Int64ToString(int64_t value, wchar_t* dest, size_t capacity);
int64_t StringToInt64(const wchar_t* text);
int CompareNoCase(const wchar_t* a, const wchar_t* b);
bool IsAsciiLetter(wchar_t c);
bool IsDecimalDigit(wchar_t c);
bool IsBlank(wchar_t c);
wchar_t ToUpperAscii(wchar_t c);
wchar_t ToUpperChar(wchar_t c);

/* errors.cpp */
// Thrown to abandon the current work after a fatal error; carries the exit code.
enum KVA_EXIT : int32_t {
    KVA_EXIT_SUCCESS = 0,
    KVA_EXIT_OPEN = 6,
    KVA_EXIT_MEMORY = 8,
};

// The codes a MessageRecord carries, one for each report of the ErrorReporter.
enum : uint32_t {
    kMsgText = 1,           // a formatted text (ShowText)
    kMsgMemory = 7,         // out of memory; fatal
    kMsgOpenError = 8,      // a file that cannot be opened, with its name
    kMsgCloseError = 10,    // a file that could not be closed, with its name
    kMsgSeekError = 11,     // a seek that failed
    kMsgFileTooLarge = 73,  // a file too large to be read whole
};

struct MessageRecord {
    uint32_t code;
    wchar_t args[8][kTextChars];
};

typedef void (*MessageSink)(const MessageRecord& record);

class ErrorReporter {
public:
    // The program shows none of these; tests install a sink to see them.
    void SetSink(MessageSink sink) { sink_ = sink; }
    void ReportMemoryError();
    void ReportOpenError(const wchar_t* name);
    void ReportCloseError(const wchar_t* name);
    void ReportSeekError(const wchar_t* name);
    void ReportFileTooLarge(const wchar_t* name);
    bool ReportReadError(const wchar_t* name);  // true = retry; always answers stop
    bool AskWriteRetry(const wchar_t* name);    // always false
    void ShowText(const wchar_t* format, ...);
    [[noreturn]] void Exit(int32_t code);
    int32_t LastExitCode() const { return exitCode_; }

private:
    void Post(uint32_t code, const wchar_t* arg);
    MessageSink sink_ = nullptr;
    int32_t exitCode_ = 0;
};

extern ErrorReporter g_errors;

// In-place heap sort (not stable).
void SortArray(void* base, size_t count, size_t elementSize,
               int (*compare)(const void* a, const void* b));

/* pathtext.cpp */
bool IsPathSeparator(wchar_t c);
bool IsDriveLetter(const wchar_t* path);
bool IsAbsolutePath(const wchar_t* path);
bool HasWildcards(const wchar_t* path);
void AddTrailingBackslash(wchar_t* path, size_t size);
void JoinPath(const wchar_t* folder, const wchar_t* name, wchar_t* out, size_t size);
// Joins only when the whole fits: a cut path would name some other file.
bool JoinWhole(const wchar_t* folder, const wchar_t* name, wchar_t* out, size_t size);
const wchar_t* NamePart(const wchar_t* path);
wchar_t* NamePart(wchar_t* path);
void CutNamePart(wchar_t* path);
void ReplaceNamePart(wchar_t* path, const wchar_t* name, size_t size);
void FolderPart(const wchar_t* path, wchar_t* out, size_t size);
const wchar_t* LastChar(const wchar_t* path);
bool MakeLongPath(const wchar_t* path, wchar_t* out, size_t size);
// The "\\?\" prefix of the long-path form, and where a path goes on after it (the path itself
// when it does not begin with the prefix).
const wchar_t* LongPrefix();
const wchar_t* SkipLongPrefix(const wchar_t* path);
wchar_t* SkipLongPrefix(wchar_t* path);
// "." or "..": what a folder listing names besides its entries.
bool IsDotOrDotDot(const wchar_t* name);

// The array count, the scoped holders, the long-path retry and the growable array are templates,
// whose bodies stand in a header of their own: here, after the string, error and path-text
// functions they call and before the classes that hold them.
#include "holders.h"

/* files.cpp */
DWORD GetPathAttributes(const wchar_t* path);
// True when anything stands at the path: a file, a folder or a link.
bool PathExists(const wchar_t* path);
bool RemoveFile(const wchar_t* path);
// Which file-system object a path leads to, whatever form names it (another drive letter mapped
// onto it, the short form, "\\?\", a share, a junction): its volume and its file id there.
struct ObjectId {
    uint32_t volume;
    uint64_t file;
};
bool GetObjectId(const wchar_t* path, ObjectId* out);
// 1 when both paths lead to the same object, 0 when to different ones, -1 when it cannot be told.
int CompareObjects(const wchar_t* a, const wchar_t* b);
uint64_t GetFreeSpace(const wchar_t* path);
bool IsFolderAttr(DWORD attributes);
bool IsReparseAttr(DWORD attributes);
// True when read-only, hidden or system is set and may be cleared before a deletion is tried
// again: never on a link (they would be set on its target) nor when they could not be read.
bool MayClearAttributes(DWORD attributes);
FILE* OpenStream(const wchar_t* path, const wchar_t* mode);
// A write stream on a file that did not exist before; nothing standing at the name, a link
// included, is ever opened.
FILE* CreateNewStream(const wchar_t* path);
// A library by its full path in the system folder, never one the search path would find first.
HMODULE LoadSystemLibrary(const wchar_t* name);

struct FindData {
    wchar_t path[kPathChars];
    uint64_t size;
    DWORD attributes;
    bool isFolder;
};

class FileFinder {
public:
    FileFinder() { mask_[0] = 0; }
    ~FileFinder() { Close(); }
    FileFinder(const FileFinder&) = delete;
    FileFinder& operator=(const FileFinder&) = delete;
    void SetMask(const wchar_t* mask);
    bool Next(FindData* data);
    void Close();

private:
    wchar_t mask_[kPathChars];
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    bool firstCall_ = true;
};

bool FindOne(const wchar_t* path, FindData* data);

/* links.cpp */
// Deletes what stands at path as itself: a file, or a link that opens as the link. A link that
// opens as its target and a folder that is no link stay. True when it was deleted.
bool RemoveAsItself(const wchar_t* path);
// Deletes the file at an absolute path only when the path itself leads to it: no link on the way,
// none at the name. True when it was deleted.
bool RemoveFileMeant(const wchar_t* path);
// A plain file with a single name that the path itself leads to (no link on the way or at the
// name): rewriting it changes no other file. The handle form checks a file already open.
bool IsSoleFileAt(HANDLE handle, const wchar_t* path);
bool IsSoleFileAt(const wchar_t* path);
// An absolute path on a drive of this machine: never one that would make Windows contact a host.
bool IsLocalPath(const wchar_t* path);
// The attributes of a path, INVALID_FILE_ATTRIBUTES when they cannot be read.
using AttributeQuery = DWORD (*)(const wchar_t* path);
// The deepest folder on a path found to be no link, length 0 when none.
struct CheckedFolder {
    wchar_t path[kPathChars];
    size_t length;
};
// True when a folder on the path below the base folder is a link (junction, symbolic link) or
// cannot be read: the path may then lead outside the base folder; also when the path does not
// begin with the base folder. With checked, the folders it holds are not asked again, and it then
// holds this path's folders.
bool PassesThroughLink(const wchar_t* base, const wchar_t* path, AttributeQuery query,
                       CheckedFolder* checked = nullptr);
// Holds a folder open, without delete sharing, so that it cannot be renamed or swapped for a link
// while the caller works in it.
class HeldFolder {
public:
    explicit HeldFolder(const wchar_t* path);
    ~HeldFolder() { Release(); }
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;
    // A real folder (no link).
    bool IsRealFolder() const;
    // A real folder that the path itself leads to, no link anywhere on the way.
    bool IsFolderMeant(const wchar_t* path) const;
    void Release();

private:
    HANDLE handle_;
};
// What the tree deletion does with an entry of the given attributes.
enum class TreeStep { Leave, Descend, RemoveFolderLink, RemoveFileLink, DeletePlainFile };
TreeStep TreeStepFor(DWORD attributes);

/* foldertree.cpp */
// Deletes a folder and everything in it through the long-path form, depth first. A link at any
// depth goes as the link and is never entered; a relative, empty or root path, a link or a file
// passed in is left alone.
void DeleteFolderTree(const wchar_t* path);

/* fileobject.cpp */
enum : unsigned {
    kOpenWrite = 1,        // write access besides read access
    kOpenWriteOnly = 2,    // write access only
    kOpenShareWrite = 4,   // others may write meanwhile
    kOpenNoShareRead = 8,  // others may not read
    kCreateWriteOnly = 2,
    kCreateShareRead = 16,
    kCreateTrailingDot = 32,
};

enum : int {
    kFileErrorNone = 0,
    kFileErrorNotFound = 1,
    kFileErrorRead = 2,
};

class FileObject {
public:
    FileObject() { name_[0] = 0; }
    virtual ~FileObject();
    FileObject(const FileObject&) = delete;
    FileObject& operator=(const FileObject&) = delete;

    virtual bool Open(const wchar_t* name, unsigned mode);
    virtual bool Close();
    virtual int Read(void* buffer, int size);
    virtual bool Seek(int64_t offset, DWORD method);
    virtual int64_t Tell();
    virtual bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

    bool OpenWithReport(const wchar_t* name);
    bool Create(const wchar_t* name, unsigned mode);
    bool Write(const void* data, int size);
    int64_t FileLength();

    void SetDeleteUnclosed(bool on) { deleteUnclosed_ = on; }
    void SetReportErrors(bool on) { reportErrors_ = on; }
    int LastErrorKind() const { return lastErrorKind_; }
    HANDLE Handle() const { return handle_; }
    const wchar_t* Name() const { return name_; }

private:
    int RawRead(void* buffer, int size);

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    bool created_ = false;
    bool createdLongForm_ = false;  // made under the \\?\ form: delete it under that form too
    bool deleteUnclosed_ = true;
    bool reportErrors_ = true;
    bool readFailed_ = false;
    int lastErrorKind_ = kFileErrorNone;
    wchar_t name_[kPathChars];
};

/* textfile.cpp */
enum : int {
    kEncodingAnsi = 0,
    kEncodingUtf16 = 3,
    kEncodingUtf8 = 4,
};

class StringList {
public:
    void AddString(const wchar_t* text);
    bool GetString(const wchar_t** out);
    void Rewind() { position_ = 0; }
    void Clear() { chars_.Clear(); position_ = 0; count_ = 0; }
    uint32_t Count() const { return count_; }

private:
    BoundedArray<wchar_t> chars_;
    uint32_t position_ = 0;
    uint32_t count_ = 0;
};

int DetectTextEncoding(const unsigned char* bytes, size_t count);
// readToEnd, when given, tells whether every byte of the file went into the lines' text: false
// after a read error, a NUL, a sequence that could not be decoded or a mark read as ANSI.
bool ReadTextFile(const wchar_t* path, StringList* lines, bool* readToEnd = nullptr);

/* version.cpp */
bool IsWow64();
uint32_t GetWindowsVersion();
bool IsWindows11OrLater();
// True when WMI names the operating system "... Windows 10 ..."; COM must be initialised.
bool OsNameSaysWindows10();

/* log.cpp */
// Opens the run's log as a new file: at path, or where path is empty as "<kind> <date>
// #<n>.log" in folder (ending with a backslash). False when none could be made: nothing is logged.
bool OpenRunLog(const wchar_t* path, const wchar_t* folder, const wchar_t* kind);
bool IsLogging();
// One time-stamped line; wide strings are passed as %ls. Keeps the caller's last error.
void LogEvent(const wchar_t* format, ...);
void CloseRunLog();
// "file: <what> <path>"; one that was not done says so with the error and "(no change)".
void LogFile(const wchar_t* what, const wchar_t* path, bool done);

/* process.cpp */
// The program file's full path; false, and out empty, when the system names none or it does not fit.
bool ProgramPath(wchar_t* out, size_t size);
// The folder of a program path without its trailing backslash, which only a drive root keeps
// ("C:\"); false without a backslash or when it does not fit.
bool ProgramFolderOf(const wchar_t* programPath, wchar_t* out, size_t size);
// The program's folder by that rule; false, and out empty, when it is not known.
bool ProgramFolder(wchar_t* out, size_t size);
// True when the process runs with an administrator's full rights, or when that cannot be told.
bool IsElevatedRun();
// The system's own Windows folder's "Temp" (never a terminal-server user's private Windows
// folder): users may create files there but change none of others', and their environment
// cannot name another. False when it does not fit.
bool SystemTempFolder(wchar_t* out, size_t size);
// Fills out with random bytes from the system's generator; false when it gives none.
bool FillRandom(void* out, size_t bytes);

/* runlock.cpp */
// Held while a run changes the machine: setup and the uninstall of one program folder, and the
// uninstall's waiting instance, never overlap. Waits a bounded time for another holder, with the
// thread's windows painting but taking no input. owner names the turn's namespace and mutex.
class RunTurn {
public:
    explicit RunTurn(const wchar_t* owner);
    ~RunTurn();
    RunTurn(const RunTurn&) = delete;
    RunTurn& operator=(const RunTurn&) = delete;

private:
    HANDLE mutex_;
    HANDLE namespace_;
};
