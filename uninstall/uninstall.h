// Uninstall mode: the driver that removes the listed files and the program, and the removal of
// everything setup registered.
#pragma once

#include "../integration/integration.h"

/* listfile.cpp */
inline constexpr wchar_t kListName[] = L"Uninstall.lst";
// Joins only when the whole fits: a cut path would name some other file.
bool JoinWhole(const wchar_t* folder, const wchar_t* name, wchar_t* out, size_t size);
// One line of Uninstall.lst: an entry, a line that is never taken as an entry (over-long or
// holding a NUL byte), or the end of the list.
enum class ListLine { End, Entry, Skipped };
ListLine ReadListLine(FILE* list, char* line, size_t size);
// Removes trailing blanks and line ends; false when nothing is left.
bool TrimListEntry(char* line);
// True when an entry can only name something inside the program folder.
bool IsSafeListEntry(const wchar_t* entry);
// The program folder followed by the entry; false for entries that are unsafe or do not fit.
bool MakeEntryPath(const wchar_t* programFolder, const char* entry, wchar_t* out, size_t size);
// The folder of the program path: a drive root keeps its backslash. False without a backslash.
bool ProgramFolderOf(const wchar_t* programPath, wchar_t* out, size_t size);
// The attributes of a path, INVALID_FILE_ATTRIBUTES when they cannot be read.
using AttributeQuery = DWORD (*)(const wchar_t* path);
// The deepest folder on an entry path found to be no link, length 0 when none.
struct CheckedFolder {
    wchar_t path[kPathChars];
    size_t length;
};
// True when a folder on the entry path below the program folder is a link (junction, symbolic
// link) or cannot be read: the entry may then lie outside the program folder. With checked, the
// folders it holds are not asked again, and it then holds this entry's folders.
bool PassesThroughLink(const wchar_t* programFolder, const wchar_t* entryPath, AttributeQuery query,
                       CheckedFolder* checked = nullptr);
// True when attributes that stand in the way of a deletion are set and may be cleared: never
// on a link (they would be set on its target) nor when they could not be read.
bool MayClearAttributes(DWORD attributes);

/* passes.cpp */
// Has Windows delete a file or an empty folder at the next restart.
bool ScheduleDeletion(const wchar_t* path);
// Deletes what the help viewer and setup leave beside the program without listing it: the help
// index files, and the "New" menu templates while they still have the size setup gave them.
void DeleteUnlistedFiles(const wchar_t* programFolder);
// Deletes the listed entries in passes until a pass deletes nothing; returns the pass count. The
// first pass reads the list, later ones visit only the entries left pending in memory.
uint32_t RunDeletionPasses(const wchar_t* programFolder, const wchar_t* programName, FILE* list,
                           bool* restartNeeded);

/* batchfile.cpp */
// The paths of the batch file as the interpreter reads them; empty when a path cannot be
// written so that it names what it should.
enum : size_t { kBatchNameBytes = 2 * kPathChars };
struct BatchNames {
    char program[kBatchNameBytes];
    char folder[kBatchNameBytes];
    char batch[kBatchNameBytes];
};
// Text for the batch file in the given code page, "%" doubled; false when it cannot be
// represented exactly or would break its quotes or line.
bool EncodeBatchText(const wchar_t* text, UINT codePage, char* out, size_t size);
// As EncodeBatchText, falling back to the path's short form.
bool EncodeBatchPath(const wchar_t* path, UINT codePage, char* out, size_t size);
bool WriteBatchLines(FILE* batch, const BatchNames& names, bool silent);
// Writes the lines and closes the stream; a file not written whole is deleted. True when whole.
bool FinishBatchFile(FILE* batch, const wchar_t* batchPath, const BatchNames& names, bool silent);
// Writes the batch file and starts it hidden; the program ends right after, which frees its file.
// The running program is first renamed to a fresh name beside it, which the batch deletes.
// The folder is the program folder as the rd lines remove it: without a trailing backslash,
// except for a drive root. False when the batch cannot remove the program file: not written,
// not started, or unable to name it.
bool StartRemovalBatch(const wchar_t* runningPath, const wchar_t* folder);

/* uninstall.cpp */
void RunUninstall();

/* removal.cpp */
void RemoveIntegration();
