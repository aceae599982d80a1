// The deletion passes over the list: files and folders, attributes in the way, files in use
// renamed and scheduled for deletion at restart.
#include "uninstall/uninstall.h"

#include <wchar.h>

namespace {

// Help index files the help viewer leaves beside the program.
const wchar_t* const kHelpIndexFiles[] = {L"ombrix.gid", L"ombrix.fts"};

bool ClearAttributes(const wchar_t* path) {
    return TryWithLongPath(path, [](const wchar_t* p) { return SetFileAttributesW(p, FILE_ATTRIBUTE_NORMAL) != 0; });
}

bool RemoveFolder(const wchar_t* path) {
    return TryWithLongPath(path, [](const wchar_t* p) { return RemoveDirectoryW(p) != 0; });
}

bool MovePath(const wchar_t* from, const wchar_t* to) {
    return TryWithLongPaths(from, to, [](const wchar_t* source, const wchar_t* target) {
        return MoveFileW(source, target) != 0;
    });
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
    if (renamed) LogEvent(L"file: renamed %ls to %ls (in use)", path, spare);
    ScheduleDeletion(renamed ? spare : path);
}

// The attributes of an entry that could not be deleted, and whether it is missing. The long
// form is asked only where it can find more than the plain path.
DWORD EntryAttributes(const wchar_t* path, bool* missing) {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    DWORD error = NO_ERROR;
    auto read = [&](const wchar_t* name) {
        attributes = GetFileAttributesW(name);
        error = GetLastError();
        return attributes != INVALID_FILE_ATTRIBUTES;
    };
    auto isNotFound = [](DWORD code) { return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND; };
    TryWithLongPath(path, read, [&] { return wcslen(path) >= MAX_PATH || !isNotFound(error); });
    *missing = attributes == INVALID_FILE_ATTRIBUTES && isNotFound(error);
    return attributes;
}

// What became of an entry in a pass. Only Pending is visited again.
enum class Outcome {
    Deleted,
    Missing,    // gone already
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

// One pass over the entries: where the program is, the deepest folder this pass found to be no
// link, and how many entries it deleted.
struct Pass {
    const wchar_t* programFolder;
    const wchar_t* programName;
    bool* restartNeeded;
    CheckedFolder checked;
    uint32_t deleted;
};

// Visits one entry in the pass; true when it is left for the next pass.
bool VisitEntry(Pass* pass, const char* entry) {
    wchar_t path[kPathChars];
    if (!MakeEntryPath(pass->programFolder, entry, path, CountOf(path))) {
        LogEvent(L"list: refused %s: its path cannot be made whole (no change)", entry);
        return false;
    }
    // Below a link the entry would name something outside the program folder.
    if (PassesThroughLink(pass->programFolder, path, GetPathAttributes, &pass->checked)) {
        LogEvent(L"list: refused %ls: below a link (no change)", path);
        return false;
    }
    Outcome outcome = DeleteEntry(path, pass->programName, pass->restartNeeded);
    static const wchar_t* const kOutcomes[] = {L"deleted", L"missing (no change)", L"left for later (no change)",
                                               L"scheduled for restart", L"left for the next pass (no change)"};
    LogEvent(L"list: %ls %ls", path, kOutcomes[(int)outcome]);
    if (outcome != Outcome::Deleted) return outcome == Outcome::Pending;
    ++pass->deleted;
    // A deleted entry whose path begins the checked one may have been a folder on it, whose name
    // something else may take now: the folders are asked again (a name that only begins alike
    // costs no more than the questions).
    size_t length = wcslen(path);
    if (pass->checked.length >= length && wcsncmp(pass->checked.path, path, length) == 0) pass->checked.length = 0;
    return false;
}

// The entries a pass left for the next, in the order of the list. Each entry's text is stored
// once, as read; a pass keeps only where the entries still pending begin.
class PendingEntries {
public:
    void Add(const char* entry) {
        uint32_t start = text_.Count();
        uint32_t bytes = (uint32_t)strlen(entry) + 1;
        text_.Add(bytes);
        memcpy(&text_[start], entry, bytes);
        starts_.Add(1);
        starts_[starts_.Count() - 1] = start;
    }
    // Visits every entry in order and keeps those for which stillPending is true.
    template <typename Visit>
    void KeepWhere(Visit stillPending) {
        uint32_t kept = 0;
        for (uint32_t i = 0; i < starts_.Count(); ++i) {
            if (stillPending(&text_[starts_[i]])) starts_[kept++] = starts_[i];
        }
        starts_.Resize(kept);
    }

private:
    BoundedArray<char> text_;
    BoundedArray<uint32_t> starts_;
};

}  // namespace

bool ScheduleDeletion(const wchar_t* path) {
    bool scheduled = TryWithLongPath(path, [](const wchar_t* p) {
        return MoveFileExW(p, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
    });
    LogFile(L"waits for the restart to be deleted:", path, scheduled);
    return scheduled;
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
    // The list is read once, by the first pass. Only what a pass leaves is visited again: no later
    // pass rereads the list or asks about entries gone.
    Pass pass = {programFolder, programName, restartNeeded, {}, 0};
    PendingEntries pending;
    rewind(list);
    char line[kPathChars];
    ListLine kind;
    while ((kind = ReadListLine(list, line, CountOf(line))) != ListLine::End) {
        if (kind == ListLine::Entry && TrimListEntry(line) && VisitEntry(&pass, line)) pending.Add(line);
    }
    uint32_t passes = 1;
    // Each further pass follows one that deleted something, so the passes end.
    while (pass.deleted != 0) {
        ++passes;
        pass.deleted = 0;
        pass.checked.length = 0;
        pending.KeepWhere([&pass](const char* entry) { return VisitEntry(&pass, entry); });
    }
    return passes;
}
