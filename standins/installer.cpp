// Stand-in for the archiver's self-extracting installer: copies the payload into the program
// folder, writes Uninstall.lst, and starts "Uninstall.exe /setup" there as the real one does.
//   installer PAYLOAD_FOLDER PROGRAM_FOLDER [SWITCHES_FOR_SFXCMD]
#include <windows.h>

#include <stdio.h>

#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: installer PAYLOAD_FOLDER PROGRAM_FOLDER [SWITCHES]\n");
        return 2;
    }
    std::wstring payload = argv[1], target = argv[2];
    CreateDirectoryW(target.c_str(), nullptr);

    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((payload + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return 2;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        std::wstring name = data.cFileName;
        if (!CopyFileW((payload + L"\\" + name).c_str(), (target + L"\\" + name).c_str(), FALSE)) return 2;
        printf("  installed %ls\n", name.c_str());
        if (name != L"Uninstall.exe") names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);

    // What setup itself creates goes on the list too; the uninstaller and the list come last.
    names.push_back(L"kvanew.dat");
    names.push_back(L"zipnew.dat");
    names.push_back(L"Uninstall.lst");
    names.push_back(L"Uninstall.exe");
    std::string list;
    for (const auto& name : names) {
        char narrow[MAX_PATH * 2];
        WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, narrow, sizeof(narrow), nullptr, nullptr);
        list += std::string(narrow) + "\r\n";
    }
    HANDLE file = CreateFileW((target + L"\\Uninstall.lst").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return 2;
    DWORD written = 0;
    WriteFile(file, list.data(), (DWORD)list.size(), &written, nullptr);
    CloseHandle(file);

    wchar_t self[MAX_PATH * 4];
    GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
    SetEnvironmentVariableW(L"sfxname", self);
    SetEnvironmentVariableW(L"sfxcmd", argc > 3 ? argv[3] : L"");

    std::wstring command = L"\"" + target + L"\\Uninstall.exe\" /setup";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, target.c_str(), &startup,
                        &process))
        return 2;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    printf("  setup exited with %lu\n", (unsigned long)code);
    return (int)code;
}
