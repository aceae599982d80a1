// One run at a time per program folder: setup, the uninstall and the uninstall's waiting
// instance of the same folder take turns, so that none works on what another has half done.
#include "platform/platform.h"

#include <vector>

namespace {

// Long enough for an uninstall and its batch file's wait; a holder that hangs (or someone
// else's object squatting the name) delays a run but never stops it.
const DWORD kTurnWaitMs = 60000;

// The program folder as one file-system object (so every path form that starts the program
// names the same turn), or where it cannot be opened its long name folded to one case, hashed:
// a path is longer than an object name may be and holds backslashes.
bool TurnName(const wchar_t* prefix, const wchar_t* owner, wchar_t* name, size_t capacity) {
    wchar_t path[kPathChars];
    if (!ProgramFolder(path, CountOf(path))) return false;
    ObjectId id;
    if (GetObjectId(path, &id)) {
        return FormatBounded(name, capacity, L"%ls\\%ls.Run.%08lX.%08lX%08lX", prefix, owner, (unsigned long)id.volume,
                             (unsigned long)(id.file >> 32), (unsigned long)(id.file & 0xFFFFFFFFu)) > 0;
    }
    wchar_t folder[kPathChars];
    DWORD longGot = GetLongPathNameW(path, folder, CountOf(folder));
    if (longGot == 0 || longGot >= CountOf(folder)) CopyString(folder, path, CountOf(folder));
    int length = (int)wcslen(folder);
    LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, folder, length, folder, length);
    uint64_t hash = 14695981039346656037ull;
    for (int i = 0; i < length; ++i) {
        hash = (hash ^ (uint16_t)folder[i]) * 1099511628211ull;
    }
    return FormatBounded(name, capacity, L"%ls\\%ls.Run.%08lX%08lX", prefix, owner, (unsigned long)(hash >> 32),
                         (unsigned long)(hash & 0xFFFFFFFFu)) > 0;
}

// A namespace only the Administrators group can make: an unelevated process cannot create the
// turn's name first and so hold every run off. Null where Windows offers none.
HANDLE OpenAdminNamespace(const wchar_t* owner) {
    HANDLE boundary = CreateBoundaryDescriptorW(owner, 0);
    if (boundary == nullptr) return nullptr;
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(sid);
    HANDLE space = nullptr;
    if (CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size) &&
        AddSIDToBoundaryDescriptor(&boundary, sid)) {
        space = CreatePrivateNamespaceW(nullptr, boundary, owner);
        if (space == nullptr && GetLastError() == ERROR_ALREADY_EXISTS)
            space = OpenPrivateNamespaceW(boundary, owner);
    }
    DeleteBoundaryDescriptor(boundary);
    return space;
}

BOOL CALLBACK DisableWindow(HWND window, LPARAM list) {
    if (IsWindowEnabled(window) && IsWindowVisible(window)) {
        EnableWindow(window, FALSE);
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    }
    return TRUE;
}

// Waits for the mutex while the thread's windows go on painting (a dialog that waits must not
// look hung); they take no input meanwhile, so nothing starts a second run inside this one.
DWORD WaitWithMessages(HANDLE mutex, DWORD timeoutMs) {
    std::vector<HWND> disabled;
    EnumThreadWindows(GetCurrentThreadId(), DisableWindow, reinterpret_cast<LPARAM>(&disabled));
    DWORD start = GetTickCount(), result = WAIT_TIMEOUT;
    for (;;) {
        DWORD spent = GetTickCount() - start;
        if (spent >= timeoutMs) break;
        DWORD waited = MsgWaitForMultipleObjects(1, &mutex, FALSE, timeoutMs - spent, QS_ALLINPUT);
        if (waited != WAIT_OBJECT_0 + 1) {
            result = waited;
            break;
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                // Handed on to the loop that owns it, once the wait is over.
                PostQuitMessage((int)message.wParam);
                timeoutMs = 0;
                break;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    for (HWND window : disabled) EnableWindow(window, TRUE);
    return result;
}

}  // namespace

RunTurn::RunTurn(const wchar_t* owner) : mutex_(nullptr), namespace_(OpenAdminNamespace(owner)) {
    wchar_t name[96];
    if (!TurnName(namespace_ != nullptr ? owner : L"Global", owner, name, CountOf(name))) return;
    HANDLE mutex = nullptr;
    DWORD start = GetTickCount();
    // A name another account made first cannot be opened: that counts as busy, tried again
    // until the wait is over.
    while ((mutex = CreateMutexW(nullptr, FALSE, name)) == nullptr && GetLastError() == ERROR_ACCESS_DENIED &&
           GetTickCount() - start < kTurnWaitMs) {
        // The process's own handle is never signalled while it runs: a pause with the messages flowing.
        WaitWithMessages(GetCurrentProcess(), 250);
    }
    if (mutex == nullptr) return;
    DWORD spent = GetTickCount() - start;
    // Abandoned: the holder was ended midway; the turn is ours and its work is finishable.
    DWORD waited = WaitWithMessages(mutex, spent < kTurnWaitMs ? kTurnWaitMs - spent : 0);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        mutex_ = mutex;
    } else {
        CloseHandle(mutex);
    }
}

RunTurn::~RunTurn() {
    if (mutex_ != nullptr) {
        ReleaseMutex(mutex_);
        CloseHandle(mutex_);
    }
    if (namespace_ != nullptr) ClosePrivateNamespace(namespace_, 0);
}
