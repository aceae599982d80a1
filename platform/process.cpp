// What this process is and may do: its program file and folder, whether it runs elevated, and fresh
// random names for what it must create where others could have prepared a name beforehand.
#include "platform/platform.h"

#include <bcrypt.h>
#include <wchar.h>

bool ProgramPath(wchar_t* out, size_t size) {
    if (size == 0) return false;
    DWORD room = size < MAXDWORD ? (DWORD)size : MAXDWORD;
    DWORD got = GetModuleFileNameW(nullptr, out, room);
    // A cut path would name some other file; older systems leave it without its terminator, too.
    if (got != 0 && got < room) return true;
    out[0] = 0;
    return false;
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

bool ProgramFolder(wchar_t* out, size_t size) {
    wchar_t path[kPathChars];
    if (ProgramPath(path, CountOf(path)) && ProgramFolderOf(path, out, size)) return true;
    if (size != 0) out[0] = 0;
    return false;
}

bool IsElevatedRun() {
    ScopedHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) return true;
    TOKEN_ELEVATION elevation = {};
    DWORD bytes = 0;
    // Not told: an administrator's rights are assumed, so nothing the user writes is trusted.
    if (!GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof(elevation), &bytes)) return true;
    return elevation.TokenIsElevated != 0;
}

bool SystemTempFolder(wchar_t* out, size_t size) {
    UINT got = GetSystemWindowsDirectoryW(out, (UINT)size);
    return got != 0 && got < size && JoinWhole(out, L"Temp", out, size);
}

bool FillRandom(void* out, size_t bytes) {
    return BCryptGenRandom(nullptr, static_cast<PUCHAR>(out), (ULONG)bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}
