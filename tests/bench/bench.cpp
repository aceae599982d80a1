// Test bench: runs a program, follows the processes it starts and answers their dialogs.
#include "tests/bench/bench.h"

#include <tlhelp32.h>

#include <algorithm>
#include <memory>
#include <set>

namespace bench {

std::wstring Narrow2Wide(const std::string& s) {
    std::wstring w(s.size() + 1, L'\0');
    int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, &w[0], (int)w.size());
    w.resize(n > 0 ? n - 1 : 0);
    return w;
}

std::string Utf8(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
    out.resize(n > 0 ? n - 1 : 0);
    return out;
}

static std::wstring ModuleFolder() {
    wchar_t path[MAX_PATH * 4];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    std::wstring s(path, n);
    return s.substr(0, s.find_last_of(L"\\/"));
}

std::wstring TestsFolder() { return ModuleFolder(); }

std::wstring BuildFolder() {
    std::wstring tests = ModuleFolder();
    return tests.substr(0, tests.find_last_of(L"\\/"));
}

std::wstring ProgramUnderTest() { return BuildFolder() + L"\\Uninstall.exe"; }

bool PathExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring BuildScratchFolder() { return BuildFolder() + L"\\scratch"; }

static bool StartsWithFolder(const std::wstring& path, const std::wstring& folder) {
    if (folder.empty() || path.size() <= folder.size() + 1) return false;
    if (CompareStringOrdinal(path.c_str(), (int)folder.size(), folder.c_str(), (int)folder.size(), TRUE) !=
        CSTR_EQUAL)
        return false;
    return path[folder.size()] == L'\\';
}

bool MayDelete(const std::wstring& path) {
    // Only a plain absolute drive path: "X:\..." without "." or ".." components.
    if (path.size() < 4 || path[1] != L':' || path[2] != L'\\') return false;
    if (path.find(L'/') != std::wstring::npos) return false;
    size_t start = 3;
    int depth = 0;
    while (start <= path.size()) {
        size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) end = path.size();
        std::wstring part = path.substr(start, end - start);
        if (part.empty() && end != path.size()) return false;
        if (part == L"." || part == L"..") return false;
        if (!part.empty()) ++depth;
        start = end + 1;
    }
    wchar_t drive = (wchar_t)towupper(path[0]);
    // Drive C: is the prefix's drive_c; its top-level folders themselves stay.
    if (drive == L'C') return depth >= 2;
    return StartsWithFolder(path, BuildScratchFolder());
}

// Works on the "\\?\" form, so that trees deeper than 260 characters go too.
static void RemoveLongTree(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // A link goes as a link; what it points at is never entered.
        if (!RemoveDirectoryW(path.c_str())) DeleteFileW(path.c_str());
        return;
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name != L"." && name != L"..") RemoveLongTree(path + L"\\" + name);
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

void RemoveTree(const std::wstring& path) {
    if (!MayDelete(path)) {
        fprintf(stderr, "bench: refusing to delete %s\n", Utf8(path).c_str());
        return;
    }
    RemoveLongTree(L"\\\\?\\" + path);
}

std::wstring ScratchFolder(const std::wstring& name) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"ombrix-test-" + name;
    RemoveTree(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

std::string ReadFileBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

void Press(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    if (button != nullptr && IsWindowEnabled(button)) {
        PostMessageW(button, BM_CLICK, 0, 0);
    } else {
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    }
}

Handler Answer(std::vector<int> ids) {
    auto queue = std::make_shared<std::vector<int>>(std::move(ids));
    return [queue](const WindowSeen& seen) {
        int id;
        if (!queue->empty()) {
            id = queue->front();
            queue->erase(queue->begin());
        } else {
            id = GetDlgItem(seen.window, IDOK) != nullptr ? IDOK : IDCANCEL;
        }
        Press(seen.window, id);
    };
}

// Handles to the processes of a run's tree, held until the run ends: while its handle is open a
// process id is never given to another process.
using HeldProcesses = std::map<DWORD, HANDLE>;

static ULONGLONG CreatedAt(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return MAXULONGLONG;
    return ((ULONGLONG)created.dwHighDateTime << 32) | created.dwLowDateTime;
}

// Adds every process below the tree's processes. A process counts as a child only when it is
// younger than its parent: an id of the tree may have belonged to an older process before (Wine
// hands ids out again soon), whose children, such as Wine's service manager, are none of the run's.
static void GrowTree(HeldProcesses* held) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    std::vector<std::pair<DWORD, DWORD>> pairs;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        // Wine starts its desktop and shell process on demand, under whichever process first needs
        // it, and keeps it for the session: it is never the run's to wait for.
        if (CompareStringOrdinal(entry.szExeFile, -1, L"explorer.exe", -1, TRUE) == CSTR_EQUAL) continue;
        pairs.emplace_back(entry.th32ProcessID, entry.th32ParentProcessID);
    }
    CloseHandle(snapshot);
    for (bool grown = true; grown;) {
        grown = false;
        for (auto& p : pairs) {
            auto parent = held->find(p.second);
            if (parent == held->end() || held->count(p.first)) continue;
            HANDLE child = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, p.first);
            if (child == nullptr) continue;
            if (CreatedAt(child) < CreatedAt(parent->second)) {
                CloseHandle(child);
                continue;
            }
            (*held)[p.first] = child;
            grown = true;
        }
    }
}

static bool IsAlive(HANDLE process) { return process != nullptr && WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }

static bool AnyAlive(const HeldProcesses& held) {
    for (const auto& process : held) {
        if (IsAlive(process.second)) return true;
    }
    return false;
}

// Names the processes that kept a run waiting, so that a time-out says what it waited for.
static void ReportLingering(const HeldProcesses& held) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        auto process = held.find(entry.th32ProcessID);
        if (process != held.end() && IsAlive(process->second))
            fprintf(stderr, "bench: still running: %ls (pid %lu, parent %lu)\n", entry.szExeFile,
                    (unsigned long)entry.th32ProcessID, (unsigned long)entry.th32ParentProcessID);
    }
    CloseHandle(snapshot);
}

struct EnumState {
    const std::set<DWORD>* pids;
    std::vector<HWND> found;
};

static BOOL CALLBACK CollectDialogs(HWND window, LPARAM param) {
    auto* state = reinterpret_cast<EnumState*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (!state->pids->count(pid) || !IsWindowVisible(window)) return TRUE;
    wchar_t cls[64];
    GetClassNameW(window, cls, 64);
    if (wcscmp(cls, L"#32770") == 0) state->found.push_back(window);
    return TRUE;
}

static std::wstring WindowText(HWND window) {
    int n = GetWindowTextLengthW(window);
    std::wstring text(n + 1, L'\0');
    GetWindowTextW(window, &text[0], n + 1);
    text.resize(wcslen(text.c_str()));
    return text;
}

static WindowSeen Describe(HWND window) {
    WindowSeen seen;
    seen.window = window;
    wchar_t cls[64];
    GetClassNameW(window, cls, 64);
    seen.className = cls;
    seen.caption = WindowText(window);
    GetWindowThreadProcessId(window, &seen.processId);
    // A message box keeps its text in the static control 0xFFFF.
    HWND text = GetDlgItem(window, 0xFFFF);
    if (text != nullptr) seen.text = WindowText(text);
    return seen;
}

bool ReserveAddressSpace(DWORD processId, size_t left) {
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_QUERY_INFORMATION, FALSE, processId);
    if (process == nullptr) return false;
    void* kept = VirtualAllocEx(process, nullptr, left, MEM_RESERVE, PAGE_NOACCESS);
    // The reservations end with the process.
    for (size_t size = (size_t)1 << 30; size >= 0x10000;) {
        if (VirtualAllocEx(process, nullptr, size, MEM_RESERVE, PAGE_NOACCESS) == nullptr) size /= 2;
    }
    if (kept != nullptr) VirtualFreeEx(process, kept, 0, MEM_RELEASE);
    CloseHandle(process);
    return true;
}

RunResult Run(const RunSpec& spec) {
    RunResult result;
    std::wstring program = spec.program.empty() ? ProgramUnderTest() : spec.program;
    std::wstring command = L"\"" + program + L"\"";
    if (!spec.arguments.empty()) command += L" " + spec.arguments;

    // Environment: the current one with the run's own variables added or replaced.
    std::vector<std::pair<std::wstring, std::wstring>> vars;
    wchar_t* block = GetEnvironmentStringsW();
    for (wchar_t* p = block; *p; p += wcslen(p) + 1) {
        std::wstring entry = p;
        size_t eq = entry.find(L'=', 1);
        if (eq == std::wstring::npos) continue;
        vars.emplace_back(entry.substr(0, eq), entry.substr(eq + 1));
    }
    FreeEnvironmentStringsW(block);
    for (auto& v : spec.environment) {
        auto same = [&](const std::pair<std::wstring, std::wstring>& e) {
            return _wcsicmp(e.first.c_str(), v.first.c_str()) == 0;
        };
        vars.erase(std::remove_if(vars.begin(), vars.end(), same), vars.end());
        vars.push_back(v);
    }
    std::wstring env;
    for (auto& v : vars) env += v.first + L"=" + v.second + L'\0';
    env += L'\0';

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(0);
    DWORD begin = GetTickCount();
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT, &env[0],
                        spec.folder.empty() ? nullptr : spec.folder.c_str(), &startup, &info)) {
        return result;
    }
    result.started = true;
    CloseHandle(info.hThread);

    Handler handler = spec.handler ? spec.handler : Answer({});
    std::set<HWND> handled;
    HeldProcesses held;
    HANDLE root = nullptr;
    DuplicateHandle(GetCurrentProcess(), info.hProcess, GetCurrentProcess(), &root, 0, FALSE, DUPLICATE_SAME_ACCESS);
    held[info.dwProcessId] = root;
    bool mainDone = false;
    for (;;) {
        if (!mainDone && WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0) {
            mainDone = true;
            result.millis = GetTickCount() - begin;
            GetExitCodeProcess(info.hProcess, &result.exitCode);
        }
        GrowTree(&held);
        std::set<DWORD> tree;
        for (const auto& process : held) tree.insert(process.first);
        EnumState state{&tree, {}};
        EnumWindows(CollectDialogs, reinterpret_cast<LPARAM>(&state));
        for (HWND window : state.found) {
            if (handled.count(window)) continue;
            handled.insert(window);
            Sleep(50);  // let the dialog finish its initialisation
            WindowSeen seen = Describe(window);
            result.windows.push_back(seen);
            handler(seen);
        }
        if (mainDone && (!spec.waitForChildren || !AnyAlive(held))) break;
        if (GetTickCount() - begin > spec.timeoutMillis) {
            result.timedOut = true;
            ReportLingering(held);
            TerminateProcess(info.hProcess, 99);
            break;
        }
        Sleep(30);
    }
    for (const auto& process : held) {
        if (process.second != nullptr) CloseHandle(process.second);
    }
    CloseHandle(info.hProcess);
    return result;
}

}  // namespace bench
