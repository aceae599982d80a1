// Command line: the tokenizer, switch recognition, the run-mode decision and the two
// switches that act while they are read (/wait and /warning).
#include "app/app.h"

#include <wchar.h>

const wchar_t* NextToken(const wchar_t* text, wchar_t* token, size_t size) {
    while (IsBlank(*text)) ++text;
    if (*text == 0) return nullptr;
    size_t stored = 0;
    bool quoted = false;
    auto store = [&](wchar_t c) {
        if (token != nullptr && stored + 1 < size) token[stored++] = c;
    };
    while (*text != 0 && (quoted || !IsBlank(*text))) {
        if (text[0] == L'"' && text[1] == L'"') {
            store(L'"');
            text += 2;
        } else if (*text == L'"') {
            quoted = !quoted;
            ++text;
        } else {
            store(*text++);
        }
    }
    if (token != nullptr && size > 0) token[stored] = 0;
    return text;
}

bool MatchSwitch(const wchar_t* name, const wchar_t* word, int count) {
    int a = (int)wcslen(name) + 1;
    int b = (int)wcslen(word) + 1;
    if (a > count) a = count;
    if (b > count) b = count;
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE | SORT_STRINGSORT, name, a, word, b) ==
           CSTR_EQUAL;
}

static void ActOnSwitch(const wchar_t* name) {
    if (MatchSwitch(name, L"setup", 5)) {
        g_run.setupMode = true;
    } else if (MatchSwitch(name, L"msi", 3)) {
        g_run.msi = true;
    } else if (MatchSwitch(name, L"init", 4)) {
        CopyString(g_run.initOptions, name + 4, CountOf(g_run.initOptions));
    } else if (MatchSwitch(name, L"wait", 4)) {
        // The batch file deletes only after this wait: a setup of this folder started meanwhile
        // waits its turn instead of working under the deletion. Held to the end of the run.
        static RunTurn turn(kProductName);
        Sleep(2000);
    } else if (MatchSwitch(name, L"noexplorer", 4)) {
        g_run.noExplorer = true;
    } else if (MatchSwitch(name, L"warning", 7)) {
        ShowManualDeletionNotice();
    }
}

// "/log", "/log=<path>" and "/restartexitcode=<n>"; false for any other switch.
static bool ActOnShapingSwitch(const wchar_t* name) {
    if (CompareNoCase(name, L"log") == 0 || _wcsnicmp(name, L"log=", 4) == 0) {
        g_run.log = true;
        CopyString(g_run.logPath, name[3] == L'=' ? name + 4 : L"", CountOf(g_run.logPath));
        return true;
    }
    if (_wcsnicmp(name, L"restartexitcode=", 16) != 0) return false;
    int64_t code = StringToInt64(name + 16);
    if (code > 0 && code <= (int64_t)UINT32_MAX) g_run.restartExitCode = (uint32_t)code;
    return true;
}

void ActOnSwitches(const wchar_t* text, bool fromInstaller) {
    wchar_t token[kTextChars];
    int counted = 0;
    const wchar_t* position = text;
    while ((position = NextToken(position, token, CountOf(token))) != nullptr) {
        if (token[0] != L'/' && token[0] != L'-') continue;
        if (token[1] != 0 && ToUpperChar(token[1]) == L'S' && !IsAsciiLetter(token[2])) {
            g_run.silent = true;
            continue;
        }
        // Like /S, these shape the run from either source and never choose its mode.
        if (ActOnShapingSwitch(token + 1)) continue;
        ++counted;
        if (!fromInstaller) ActOnSwitch(token + 1);
    }
    g_run.uninstallMode = !fromInstaller && counted == 0;
}

void ParseInstallerLine() {
    // Split whole: cut to a buffer, the line could end inside a token and make a switch of its
    // start ("/S" of "/Silent"), and the switches behind the cut would be lost. Each token is
    // still cut to the token buffer.
    DWORD needed = GetEnvironmentVariableW(L"sfxcmd", nullptr, 0);
    BoundedArray<wchar_t> line(needed + 1);
    DWORD got = GetEnvironmentVariableW(L"sfxcmd", line.Data(), needed + 1);
    if (got == 0 || got > needed) line[0] = 0;
    ActOnSwitches(line.Data(), true);
}
