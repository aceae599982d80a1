// Help viewer: opens the archiver's help file at a topic or its contents through the
// HTML Help control, loaded from the system folder so the search path never supplies it.
#include "language.h"

namespace {

typedef HWND(WINAPI* HtmlHelpFn)(HWND caller, LPCWSTR file, UINT command, DWORD_PTR data);

enum : UINT {
    kDisplayTopic = 0,  // HH_DISPLAY_TOPIC
    kDisplayToc = 1,    // HH_DISPLAY_TOC
};

struct HelpModule {
    HMODULE control = nullptr;
    HtmlHelpFn htmlHelp = nullptr;
    bool lookedUp = false;
    bool shortPathTried = false;
    wchar_t helpFile[kPathChars] = {};
};

HelpModule g_help;

// The help file beside the program; the short form of the program's path when asked.
void FindHelpFile(bool shortForm, wchar_t* out, size_t capacity) {
    wchar_t program[kPathChars];
    ProgramPath(program, CountOf(program));
    if (shortForm) {
        wchar_t shortPath[kPathChars];
        DWORD m = GetShortPathNameW(program, shortPath, CountOf(shortPath));
        if (m != 0 && m < CountOf(shortPath)) CopyString(program, shortPath, CountOf(program));
    }
    ReplaceNamePart(program, L"ombrix.chm", CountOf(program));
    ResolveInLanguageFolder(program, out, capacity);
}

HWND OpenHelp(const wchar_t* topic) {
    wchar_t target[kPathChars + 50];
    HelpTarget(topic, target, CountOf(target));
    // The desktop is the caller, so the help window outlives the dialog that asked for it.
    return g_help.htmlHelp(GetDesktopWindow(), target, topic != nullptr ? kDisplayTopic : kDisplayToc, 0);
}

// True when the path holds characters that the ANSI code page cannot represent.
bool NeedsShortPath(const wchar_t* path) {
    char narrow[kPathChars];
    wchar_t back[kPathChars];
    if (!AnsiFromWide(path, narrow, CountOf(narrow))) return true;
    if (!WideFromAnsi(narrow, back, CountOf(back))) return true;
    return wcscmp(path, back) != 0;
}

}  // namespace

void HelpTarget(const wchar_t* topic, wchar_t* out, size_t capacity) {
    if (g_help.helpFile[0] == 0) FindHelpFile(false, g_help.helpFile, CountOf(g_help.helpFile));
    if (topic != nullptr) FormatBounded(out, capacity, L"%ls::/html/%ls.htm", g_help.helpFile, topic);
    else CopyString(out, g_help.helpFile, capacity);
}

HWND ShowHelp(HWND, const wchar_t* topic) {
    if (g_help.control == nullptr) g_help.control = LoadSystemLibrary(L"hhctrl.ocx");
    if (!g_help.lookedUp) {
        if (g_help.control == nullptr) return nullptr;
        g_help.htmlHelp =
            reinterpret_cast<HtmlHelpFn>(reinterpret_cast<void*>(GetProcAddress(g_help.control, "HtmlHelpW")));
        FindHelpFile(false, g_help.helpFile, CountOf(g_help.helpFile));
        g_help.lookedUp = true;
    }
    if (g_help.htmlHelp == nullptr) return nullptr;

    HWND window = OpenHelp(topic);
    if (window != nullptr || g_help.shortPathTried) return window;

    // The control takes narrow paths inside; a path outside the ANSI code page gets one more
    // try through its short form.
    g_help.shortPathTried = true;
    if (!NeedsShortPath(g_help.helpFile)) return nullptr;
    FindHelpFile(true, g_help.helpFile, CountOf(g_help.helpFile));
    return OpenHelp(topic);
}
