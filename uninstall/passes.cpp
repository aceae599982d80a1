// The deletion passes over the list: files and folders, attributes in the way, files in use
// renamed and scheduled for deletion at restart.
#include "uninstall/uninstall.h"

#include <wchar.h>

namespace {

// Help index files the help viewer leaves beside the program.
const wchar_t* const kHelpIndexFiles[] = {L"ombrix.gid", L"ombrix.fts"};
// The empty archives setup writes beside the program for the "New" menu, and their sizes.
struct SetupTemplate {
    const wchar_t* name;
    uint64_t size;
};
const SetupTemplate kSetupTemplates[] = {{L"kvanew.dat", 24}, {L"zipnew.dat", 22}};

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
    for (const SetupTemplate& file : kSetupTemplates) {
        wchar_t path[kPathChars];
        FindData found;
        if (!JoinWhole(programFolder, file.name, path, CountOf(path)) || !FindOne(path, &found)) continue;
        // Another size is the user's own file now. A link goes as the link, never its target.
        if (!found.isFolder && found.size == file.size) RemoveAsItself(path);
    }
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
