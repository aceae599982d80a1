// The product's own folders: its folder in the user's application data, the folder its settings
// live in, the folder for temporary files and the configured language folder. What the user
// configured is read through the store, so the settings file can name these too.
#include "settings.h"

#include <shlobj.h>
#include <string.h>

namespace {

bool IsFolder(const wchar_t* path) { return IsFolderAttr(GetPathAttributes(path)); }

// The configured temporary folder (environment strings expanded) when it exists, else the
// system's; always with a trailing backslash.
void ResolveTempFolder(const wchar_t* configured, wchar_t* out, size_t size) {
    if (size == 0) return;
    CopyString(out, configured, size);
    wchar_t expanded[kPathChars];
    DWORD n = ExpandEnvironmentStringsW(out, expanded, CountOf(expanded));
    if (out[0] != 0 && n != 0 && n < CountOf(expanded)) CopyString(out, expanded, size);
    // A configured folder that does not exist (or is a file) is never used.
    if (out[0] != 0 && IsFolder(out)) {
        AddTrailingBackslash(out, size);
        return;
    }
    DWORD got = GetTempPathW((DWORD)size, out);
    if (got == 0 || got >= size || out[0] == 0) CopyString(out, L"\\kvatemp", size);
    AddTrailingBackslash(out, size);
}

}  // namespace

bool AppDataFolder(wchar_t* out, size_t size) {
    if (size == 0) return false;
    out[0] = 0;
    wchar_t shellFolder[kPathChars] = {};
    LPITEMIDLIST items = nullptr;
    if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_APPDATA, &items)) && items != nullptr) {
        if (!SHGetPathFromIDListW(items, shellFolder)) shellFolder[0] = 0;
        ScopedCom<IMalloc> allocator;
        if (SUCCEEDED(SHGetMalloc(allocator.Receive())) && allocator.Get() != nullptr) allocator->Free(items);
    }
    if (shellFolder[0] == 0) return false;
    CopyString(out, shellFolder, size);
    AddTrailingBackslash(out, size);
    AppendString(out, L"Ombrix", size);
    return IsFolder(out);
}

bool SettingsFolder(ConfiguredFolder configured, wchar_t* out, size_t size) {
    if (size == 0) return false;
    // The configured folder is taken as stored, whatever the value's type.
    if (configured == ConfiguredFolder::Asked && ReadUserString(L"Paths", L"AppData", L"", out, size) &&
        out[0] != 0 && PathExists(out))
        return true;
    if (AppDataFolder(out, size)) return true;
    wchar_t program[kPathChars];
    bool known = ProgramFolder(program, CountOf(program));
    CopyString(out, program, size);
    return known;
}

void GetTempFolder(wchar_t* out, size_t size) {
    wchar_t configured[kPathChars];
    ReadUserString(L"Paths", L"TempFolder", L"", configured, CountOf(configured));
    ResolveTempFolder(configured, out, size);
}

bool ConfiguredLanguageFolder(wchar_t* out, size_t size) {
    StoredValue value;
    if (size == 0 || !ReadStoredValue(HKEY_CURRENT_USER, L"General", L"LanguageFolder", &value)) return false;
    // Only text names a folder, and only whole: a cut one would be another folder.
    if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) return false;
    if (value.bytes > (size - 1) * sizeof(wchar_t)) return false;
    size_t chars = value.bytes / sizeof(wchar_t);
    memcpy(out, value.data.Data(), chars * sizeof(wchar_t));
    out[chars] = 0;
    return true;
}
