// What this process is and may do: whether it runs elevated, and fresh random names for what it
// must create where others could have prepared a name beforehand.
#include "platform/platform.h"

#include <bcrypt.h>

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
