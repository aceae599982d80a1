// The deletion passes over the list: files and folders, attributes in the way, files in use
// renamed and scheduled for deletion at restart.
#include "uninstall/uninstall.h"

#include <wchar.h>

namespace {

// Help index files the help viewer leaves beside the program.
const wchar_t* const kHelpIndexFiles[] = {L"ombrix.gid", L"ombrix.fts"};

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

bool MovePath(const wchar_t* from, const wchar_t* to) {
    if (MoveFileW(from, to)) return true;
    wchar_t longFrom[kPathChars];
    wchar_t longTo[kPathChars];
    return MakeLongPath(from, longFrom, CountOf(longFrom)) && MakeLongPath(to, longTo, CountOf(longTo)) &&
           MoveFileW(longFrom, longTo);
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

// The attributes of an entry that could not be deleted, and whether it is missing. The long
// form is asked only where it can find more than the plain path.
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

// What became of an entry in a pass. Only Pending is visited again.
enum class Outcome {
    Deleted,
    Missing,    // gone already
    Unsafe,     // its path cannot be named in full, or leads through a link
    LeftLater,  // the program file or the list, which go after the passes
    Scheduled,  // in use: deleted at restart
    Pending,    // left for the next pass
};

Outcome DeleteEntry(const wchar_t* path, const wchar_t* programName, bool* restartNeeded) {
    // Nearly every entry is a plain file: one call. Only a failure asks why.
    if (DeleteFileW(path)) return Outcome::Deleted;
    bool missing = false;
    DWORD attributes = EntryAttributes(path, &missing);
    if (missing) return Outcome::Missing;
    bool known = attributes != INVALID_FILE_ATTRIBUTES;
    if (MayClearAttributes(attributes)) ClearAttributes(path);
    // A folder link goes as the link (RemoveDirectoryW), a file link with DeleteFileW. A folder
    // that is not empty yet waits for a later pass; it is never scheduled.
    if (IsFolderAttr(attributes)) return RemoveFolder(path) ? Outcome::Deleted : Outcome::Pending;
    if (RemoveFile(path)) return Outcome::Deleted;
    if (!known) return Outcome::Pending;
    // The program file goes with the batch file, the list after the passes.
    const wchar_t* name = NamePart(path);
    if (CompareNoCase(name, programName) == 0 || CompareNoCase(name, kListName) == 0) return Outcome::LeftLater;
    *restartNeeded = true;
    DeleteAtRestart(path);
    return Outcome::Scheduled;
}

Outcome VisitEntry(const wchar_t* programFolder, const wchar_t* programName, const char* entry,
                   CheckedFolder* checked, bool* restartNeeded) {
    wchar_t path[kPathChars];
    if (!MakeEntryPath(programFolder, entry, path, CountOf(path))) return Outcome::Unsafe;
    // Below a link the entry would name something outside the program folder.
    if (PassesThroughLink(programFolder, path, GetPathAttributes, checked)) return Outcome::Unsafe;
    Outcome outcome = DeleteEntry(path, programName, restartNeeded);
    // Where a folder on the checked path went, something else may take its name.
    size_t length = wcslen(path);
    if (outcome == Outcome::Deleted && checked->length >= length && wcsncmp(checked->path, path, length) == 0) {
        checked->length = 0;
    }
    return outcome;
}

}  // namespace

bool ScheduleDeletion(const wchar_t* path) {
    return OnPath(path, [](const wchar_t* p) {
        return MoveFileExW(p, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
    });
}

void DeleteUnlistedFiles(const wchar_t* programFolder) {
    for (const wchar_t* name : kHelpIndexFiles) {
        wchar_t path[kPathChars];
        if (!JoinWhole(programFolder, name, path, CountOf(path))) continue;
        if (MayClearAttributes(GetPathAttributes(path))) ClearAttributes(path);
        RemoveFile(path);
    }
    for (const TemplateFile& file : kTemplateFiles) {
        wchar_t path[kPathChars];
        FindData found;
        if (!JoinWhole(programFolder, file.name, path, CountOf(path)) || !FindOne(path, &found)) continue;
        // Another size is the user's own file now. A link goes as the link, never its target.
        if (!found.isFolder && found.size == file.size) RemoveAsItself(path);
    }
}

uint32_t RunDeletionPasses(const wchar_t* programFolder, const wchar_t* programName, FILE* list,
                           bool* restartNeeded) {
    // The list is read once. What a pass leaves is kept in memory, each entry with its NUL, and
    // only that is visited again: no later pass rereads the list or asks about entries gone.
    BoundedArray<char> pending;
    CheckedFolder checked = {};
    uint32_t progress = 0;
    rewind(list);
    char line[kPathChars];
    ListLine kind;
    while ((kind = ReadListLine(list, line, CountOf(line))) != ListLine::End) {
        if (kind != ListLine::Entry || !TrimListEntry(line)) continue;
        Outcome outcome = VisitEntry(programFolder, programName, line, &checked, restartNeeded);
        if (outcome == Outcome::Deleted) ++progress;
        if (outcome != Outcome::Pending) continue;
        uint32_t at = pending.Count();
        size_t bytes = strlen(line) + 1;
        pending.Add((uint32_t)bytes);
        memcpy(&pending[at], line, bytes);
    }
    // Each further pass follows one that deleted something, so the passes end.
    uint32_t passes = 1;
    while (progress != 0) {
        ++passes;
        progress = 0;
        checked.length = 0;
        uint32_t kept = 0;
        for (uint32_t at = 0; at < pending.Count();) {
            const char* entry = &pending[at];
            uint32_t bytes = (uint32_t)strlen(entry) + 1;
            Outcome outcome = VisitEntry(programFolder, programName, entry, &checked, restartNeeded);
            if (outcome == Outcome::Deleted) ++progress;
            // Still pending: moved down over the entries that are settled.
            if (outcome == Outcome::Pending) {
                memmove(&pending[kept], entry, bytes);
                kept += bytes;
            }
            at += bytes;
        }
        pending.Resize(kept);
    }
    return passes;
}
