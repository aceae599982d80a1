// Uninstall benchmark: the deletion passes over a program folder of 10,000 files in 500
// folders, timed in-process, and a silent uninstall of the real program over the same tree.
#include "uninstall/uninstall.h"

#include "tests/bench/bench.h"

#include <stdio.h>

#include <string>

namespace {

const int kFolders = 500;
const int kFilesPerFolder = 20;

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 0x80 ? (char)c : '?';
    return out;
}

// Fills folder with the tree and returns the list: files first, folders last, or the reverse.
std::string MakeTree(const std::wstring& folder, bool foldersFirst) {
    std::string files;
    std::string folders;
    for (int d = 0; d < kFolders; ++d) {
        wchar_t name[64];
        swprintf(name, CountOf(name), L"dir%03d", d);
        CreateDirectoryW((folder + L"\\" + name).c_str(), nullptr);
        folders += Narrow(name) + "\r\n";
        for (int f = 0; f < kFilesPerFolder; ++f) {
            wchar_t file[64];
            swprintf(file, CountOf(file), L"%ls\\file%02d.dat", name, f);
            bench::WriteFileBytes(folder + L"\\" + file, "ombrix benchmark data\r\n");
            files += Narrow(file) + "\r\n";
        }
    }
    return foldersFirst ? folders + files : files + folders;
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

// Times the passes over a fresh tree; returns the pass count, or 0 when the tree stayed.
uint32_t TimePasses(const std::wstring& root, bool foldersFirst, double* millis) {
    std::wstring folder = root + L"\\prog";
    bench::RemoveTree(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring listPath = root + L"\\Uninstall.lst";
    bench::WriteFileBytes(listPath, MakeTree(folder, foldersFirst));
    FILE* list = _wfopen(listPath.c_str(), L"rb");
    if (list == nullptr) return 0;
    LARGE_INTEGER frequency, begin, end;
    QueryPerformanceFrequency(&frequency);
    bool restartNeeded = false;
    QueryPerformanceCounter(&begin);
    uint32_t passes = RunDeletionPasses((folder + L"\\").c_str(), L"Uninstall.exe", list, &restartNeeded);
    QueryPerformanceCounter(&end);
    fclose(list);
    *millis = 1000.0 * (double)(end.QuadPart - begin.QuadPart) / (double)frequency.QuadPart;
    return IsEmptyFolder(folder) && !restartNeeded ? passes : 0;
}

// The least the file system needs for the same tree: one deletion call per file and folder.
double TimeBareDeletion(const std::wstring& root) {
    std::wstring folder = root + L"\\bare";
    bench::RemoveTree(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
    MakeTree(folder, false);
    LARGE_INTEGER frequency, begin, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&begin);
    for (int d = 0; d < kFolders; ++d) {
        wchar_t name[64];
        for (int f = 0; f < kFilesPerFolder; ++f) {
            swprintf(name, CountOf(name), L"\\dir%03d\\file%02d.dat", d, f);
            DeleteFileW((folder + name).c_str());
        }
        swprintf(name, CountOf(name), L"\\dir%03d", d);
        RemoveDirectoryW((folder + name).c_str());
    }
    QueryPerformanceCounter(&end);
    return 1000.0 * (double)(end.QuadPart - begin.QuadPart) / (double)frequency.QuadPart;
}

}  // namespace

int main() {
    std::wstring root = bench::ScratchFolder(L"bench");
    int failures = 0;
    printf("Uninstall benchmark: %d files in %d folders\n", kFolders * kFilesPerFolder, kFolders);

    // The machine may be shared: each figure is the best of a few rounds, taken in turns.
    const int kRounds = 3;
    double best = 0, bestReversed = 0, bestBare = 0;
    uint32_t passes = 0, passesReversed = 0;
    for (int round = 0; round < kRounds; ++round) {
        double millis = 0;
        uint32_t p = TimePasses(root, false, &millis);
        if (round == 0 || p != 2) passes = p;
        if (round == 0 || millis < best) best = millis;
        p = TimePasses(root, true, &millis);
        if (round == 0 || p != 3) passesReversed = p;
        if (round == 0 || millis < bestReversed) bestReversed = millis;
        millis = TimeBareDeletion(root);
        if (round == 0 || millis < bestBare) bestBare = millis;
    }
    printf("  deletion passes, files first, folders last: %.0f ms, %u passes (%s)\n", best, passes,
           passes == 2 ? "two, as expected" : "expected exactly two: FAILED");
    if (passes != 2) ++failures;
    printf("  deletion passes, folders first:            %.0f ms, %u passes (%s)\n", bestReversed, passesReversed,
           passesReversed == 3 ? "three: the folders go in the second" : "expected three: FAILED");
    if (passesReversed != 3) ++failures;
    printf("  for comparison, one bare DeleteFileW or RemoveDirectoryW per entry: %.0f ms\n", bestBare);
    printf("  (best of %d rounds each)\n", kRounds);

    // The real program, silent, in a folder of its own; the batch file removes it and the folder.
    std::wstring folder = root + L"\\Ombrix-bench";
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring program = folder + L"\\Uninstall.exe";
    if (!CopyFileW(bench::ProgramUnderTest().c_str(), program.c_str(), FALSE)) {
        printf("  cannot copy %s\n", Narrow(bench::ProgramUnderTest()).c_str());
        return 1;
    }
    bench::WriteFileBytes(folder + L"\\Uninstall.lst", MakeTree(folder, false) + "Uninstall.exe\r\nUninstall.lst\r\n");
    bench::RunSpec spec;
    spec.program = program;
    spec.arguments = L"/S";
    // The stand-in interpreter runs the real one without a window, so its echo stays out of the report.
    wchar_t interpreter[MAX_PATH * 4];
    DWORD n = GetEnvironmentVariableW(L"COMSPEC", interpreter, CountOf(interpreter));
    if (n == 0 || n >= CountOf(interpreter)) interpreter[0] = 0;
    spec.environment = {{L"sfxcmd", L""},
                        {L"sfxname", L""},
                        {L"COMSPEC", bench::BuildFolder() + L"\\standins\\standin.exe"},
                        {L"OMBRIX_REAL_COMSPEC", interpreter}};
    spec.waitForChildren = true;
    spec.timeoutMillis = 300000;
    DWORD begin = GetTickCount();
    bench::RunResult result = bench::Run(spec);
    DWORD total = GetTickCount() - begin;
    bool gone = !bench::PathExists(folder);
    printf("  silent uninstall of the real program: %lu ms until it exited, %lu ms until the batch file "
           "had removed the program and its folder (%s)\n",
           (unsigned long)result.millis, (unsigned long)total,
           result.started && !result.timedOut && gone ? "folder gone" : "FAILED: folder remains");
    if (!result.started || result.timedOut || !gone) ++failures;

    bench::RemoveTree(root);
    return failures == 0 ? 0 : 1;
}
