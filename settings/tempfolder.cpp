// The temporary folder the user configured for the archiver, handed down to the path helpers.
#include "settings.h"

void GetTempFolder(wchar_t* out, size_t size) {
    wchar_t configured[kPathChars];
    ReadUserString(L"Paths", L"TempFolder", L"", configured, CountOf(configured));
    ResolveTempFolder(configured, out, size);
}
