// Uninstall benchmark: a silent uninstall of the real program side by side with the floor, one
// process ("uninstall_bench floor LIST FOLDER reverse|forward") that makes one call per entry.
#include "uninstall/uninstall.h"

#include "tests/bench/bench.h"

#include <shellapi.h>
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const int kFolders = 500;
const int kFilesPerFolder = 20;

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 0x80 ? (char)c : '?';
    return out;
}

// Fills folder with the tree and returns the list: the files, then the folders deepest first;
// or in pre-order, each folder before what it holds.
std::string MakeTree(const std::wstring& folder, bool preOrder) {
    std::string files, leaves, middles, tops, tree;
    auto add = [&](const wchar_t* name, std::string* level) {
        CreateDirectoryW((folder + L"\\" + name).c_str(), nullptr);
        *level += Narrow(name) + "\r\n";
        tree += Narrow(name) + "\r\n";
    };
    for (int d = 0; d < kFolders; ++d) {
        wchar_t top[16], middle[32], name[64];
        swprintf(top, CountOf(top), L"t%d", d / 100);
        swprintf(middle, CountOf(middle), L"%ls\\m%d", top, d / 10 % 10);
        swprintf(name, CountOf(name), L"%ls\\l%d", middle, d % 10);
        if (d % 100 == 0) add(top, &tops);
        if (d % 10 == 0) add(middle, &middles);
        add(name, &leaves);
        for (int f = 0; f < kFilesPerFolder; ++f) {
            wchar_t file[64];
            swprintf(file, CountOf(file), L"%ls\\file%02d.dat", name, f);
            bench::WriteFileBytes(folder + L"\\" + file, std::string(1024, 'o'));
            files += Narrow(file) + "\r\n";
            tree += Narrow(file) + "\r\n";
        }
    }
    return preOrder ? tree : files + leaves + middles + tops;
}

bool IsEmptyFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    int entries = 0;
    do {
        if (wcscmp(data.cFileName, L".") != 0 && wcscmp(data.cFileName, L"..") != 0) ++entries;
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return entries == 0;
}

// Seconds from the start of the command to its exit with code 0; -1 when it failed.
double TimeProcess(std::wstring command) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    LARGE_INTEGER frequency, begin, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&begin);
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return -1;
    }
    WaitForSingleObject(process.hProcess, 300000);
    QueryPerformanceCounter(&end);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code == 0 ? (double)(end.QuadPart - begin.QuadPart) / (double)frequency.QuadPart : -1;
}

// The floor: DeleteFileW for each entry, RemoveDirectoryW where that fails. Reversed, a pre-order
// list names every folder after what it holds.
int Floor(const wchar_t* listPath, const std::wstring& folder, bool reverse) {
    std::string text = bench::ReadFileBytes(listPath);
    std::vector<std::wstring> entries;
    for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
        entries.push_back(folder + L"\\" + bench::Narrow2Wide(text.substr(at, end - at)));
    }
    if (reverse) std::reverse(entries.begin(), entries.end());
    for (const std::wstring& entry : entries) {
        if (!DeleteFileW(entry.c_str())) RemoveDirectoryW(entry.c_str());
    }
    return IsEmptyFolder(folder) ? 0 : 1;
}

// Best seconds of the silent uninstall and of the floor, both on a fresh tree each round.
void RunRound(const std::wstring& root, bool preOrder, double* uninstall, double* floor) {
    std::wstring folder = root + L"\\Ombrix-bench", bare = root + L"\\bare", list = root + L"\\bare.lst";
    CreateDirectoryW(folder.c_str(), nullptr);
    CopyFileW(bench::ProgramUnderTest().c_str(), (folder + L"\\Uninstall.exe").c_str(), FALSE);
    bench::WriteFileBytes(folder + L"\\Uninstall.lst", MakeTree(folder, preOrder) + "Uninstall.exe\r\nUninstall.lst\r\n");
    double seconds = TimeProcess(L"\"" + folder + L"\\Uninstall.exe\" /S");
    // The batch file removes the program and its folder two seconds after the exit.
    for (int i = 0; i < 600 && bench::PathExists(folder); ++i) Sleep(100);
    if (seconds > 0 && !bench::PathExists(folder) && (*uninstall == 0 || seconds < *uninstall)) *uninstall = seconds;

    CreateDirectoryW(bare.c_str(), nullptr);
    bench::WriteFileBytes(list, MakeTree(bare, preOrder));
    seconds = TimeProcess(L"\"" + bench::TestsFolder() + L"\\uninstall_bench.exe\" floor \"" + list + L"\" \"" + bare +
                          (preOrder ? L"\" reverse" : L"\" forward"));
    if (seconds > 0 && (*floor == 0 || seconds < *floor)) *floor = seconds;
    bench::RemoveTree(folder);
    bench::RemoveTree(bare);
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv != nullptr && argc == 5 && wcscmp(argv[1], L"floor") == 0) {
        return Floor(argv[2], argv[3], wcscmp(argv[4], L"reverse") == 0);
    }
    SetEnvironmentVariableW(L"sfxcmd", nullptr);
    SetEnvironmentVariableW(L"sfxname", nullptr);

    std::wstring root = bench::ScratchFolder(L"bench");
    int failures = 0;
    const int kRounds = 3;  // the machine may be shared: the best of a few rounds, the runs in turns
    printf("Uninstall benchmark: %d files of 1 KiB in 555 folders three levels deep, best of %d rounds\n",
           kFolders * kFilesPerFolder, kRounds);
    for (bool preOrder : {false, true}) {
        double uninstall = 0, floor = 0;
        for (int round = 0; round < kRounds; ++round) RunRound(root, preOrder, &uninstall, &floor);
        printf("\nList: %s\n\n| Run | Seconds |\n|---|---|\n", preOrder ? "folders first, pre-order (the floor deletes it from the end)"
                                                                   : "files first, then folders deepest first");
        printf("| `Uninstall.exe /S`, start to exit | %.2f |\n", uninstall);
        printf("| one process that reads the same list and makes one call per entry (`DeleteFileW`, else "
               "`RemoveDirectoryW`) | %.2f |\n\n",
               floor);
        bool ok = uninstall > 0 && floor > 0;
        printf("Ratio: %.2fx (goal: 1.3x or less)%s\n", ok ? uninstall / floor : 0.0,
               ok ? "" : " FAILED: a run did not remove its tree");
        if (!ok) ++failures;
    }
    bench::RemoveTree(root);
    return failures == 0 ? 0 : 1;
}
