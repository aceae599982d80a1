// One run at a time per program folder: setup, the uninstall and the uninstall's waiting
// instance of the same folder take turns, so that none works on what another has half done.
#include "platform/platform.h"

namespace {

// Long enough for an uninstall and its batch file's wait; a holder that hangs (or someone
// else's object squatting the name) delays a run but never stops it.
const DWORD kTurnWaitMs = 60000;

// The folder's own name, whatever form started the program, folded to one case and hashed: a
// path is longer than an object name may be and holds backslashes.
bool TurnName(wchar_t* name, size_t capacity) {
    wchar_t path[kPathChars];
    DWORD got = GetModuleFileNameW(nullptr, path, CountOf(path));
    if (got == 0 || got >= CountOf(path)) return false;
    CutNamePart(path);
    wchar_t folder[kPathChars];
    DWORD longGot = GetLongPathNameW(path, folder, CountOf(folder));
    if (longGot == 0 || longGot >= CountOf(folder)) CopyString(folder, path, CountOf(folder));
    int length = (int)wcslen(folder);
    LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, folder, length, folder, length);
    uint64_t hash = 14695981039346656037ull;
    for (int i = 0; i < length; ++i) {
        hash = (hash ^ (uint16_t)folder[i]) * 1099511628211ull;
    }
    return FormatBounded(name, capacity, L"Global\\Ombrix.Run.%08lX%08lX", (unsigned long)(hash >> 32),
                         (unsigned long)(hash & 0xFFFFFFFFu)) > 0;
}

}  // namespace

RunTurn::RunTurn() : mutex_(nullptr) {
    wchar_t name[64];
    if (!TurnName(name, CountOf(name))) return;
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name);
    if (mutex == nullptr) return;
    // Abandoned: the holder was ended midway; the turn is ours and its work is finishable.
    DWORD waited = WaitForSingleObject(mutex, kTurnWaitMs);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        mutex_ = mutex;
    } else {
        CloseHandle(mutex);
    }
}

RunTurn::~RunTurn() {
    if (mutex_ == nullptr) return;
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
}
