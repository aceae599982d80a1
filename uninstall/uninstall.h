// Uninstall mode: the driver that removes the listed files and the program, and the removal of
// everything setup registered.
#pragma once

#include "../integration/integration.h"

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
