// The language library "kvalng.dll": a resource-only module beside the program that serves
// dialog templates and strings in place of the program's own while it is loaded.
#include "language.h"

#include "settings/settings.h"

#include <string.h>

namespace {

struct LanguageLibrary {
    bool loaded = false;
    HMODULE resourceModule = nullptr;
    HMODULE programModule = nullptr;
};

LanguageLibrary g_library;

// Build switch for the alternative language folder; the digit 1 turns it on.
const char kLanguageFolderMarker[] = "LngFolder0";

}  // namespace

bool UseDataFileLoad(DWORD platformId, DWORD majorVersion, WORD servicePackMajor) {
    // Older systems cannot take resources from a module mapped as a data file.
    if (platformId != VER_PLATFORM_WIN32_NT) return false;
    return majorVersion > 5 || (majorVersion == 5 && servicePackMajor >= 2);
}

void LoadLanguageLibrary(HINSTANCE programInstance) {
    ReleaseLanguageLibrary();

    wchar_t path[kPathChars];
    bool havePath = ProgramPath(path, CountOf(path));
    ReplaceNamePart(path, L"kvalng.dll", CountOf(path));
    ResolveInLanguageFolder(path, path, CountOf(path));

    OSVERSIONINFOEXW version;
    memset(&version, 0, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    HMODULE module = nullptr;
    // Only ever the file beside the program: a bare name would go through the search path.
    if (havePath && wcschr(path, L'\\') != nullptr) {
        bool asData = GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version)) &&
                      UseDataFileLoad(version.dwPlatformId, version.dwMajorVersion, version.wServicePackMajor);
        module = asData ? LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE) : LoadLibraryW(path);
    }

    g_library.loaded = module != nullptr;
    g_library.resourceModule = module != nullptr ? module : programInstance;
    g_library.programModule = programInstance;
}

void ReleaseLanguageLibrary() {
    if (!g_library.loaded) return;
    FreeLibrary(g_library.resourceModule);
    g_library.resourceModule = g_library.programModule;
    g_library.loaded = false;
}

HMODULE ProgramModule() {
    // Before start-up has passed the instance, the executable's own image serves.
    return g_library.programModule != nullptr ? g_library.programModule : GetModuleHandleW(nullptr);
}

HMODULE ResourceModule() {
    return g_library.resourceModule != nullptr ? g_library.resourceModule : ProgramModule();
}

bool IsLanguageLibraryLoaded() { return g_library.loaded; }

void ResolveInLanguageFolder(const wchar_t* path, wchar_t* out, size_t capacity) {
    if (out != path) CopyString(out, path, capacity);
    if (strchr(kLanguageFolderMarker, '1') == nullptr) return;

    // The folder is taken only where it leaves room for the path beside it.
    wchar_t folder[kPathChars];
    size_t pathLength = wcslen(path);
    size_t room = pathLength < CountOf(folder) - 1 ? CountOf(folder) - 1 - pathLength : 0;
    if (room == 0 || !ConfiguredLanguageFolder(folder, room + 1)) return;

    wchar_t candidate[kPathChars];
    DWORD n = ExpandEnvironmentStringsW(folder, candidate, CountOf(candidate));
    if (n == 0 || n > CountOf(candidate)) return;
    candidate[CountOf(candidate) - 1] = 0;
    AddTrailingBackslash(candidate, CountOf(candidate));
    AppendString(candidate, NamePart(path), CountOf(candidate));
    if (PathExists(candidate)) CopyString(out, candidate, capacity);
}
