// Snapshots of the prefix as Windows sees it: the registry below Software in both views of
// HKLM and HKCU, and every file and folder of drive C:, to find what a run left behind.
#include "tests/bench/bench.h"

#include <algorithm>

namespace bench {

// Key or value path -> type and data, for everything below a root in one view.
static void SnapshotKey(HKEY root, const std::wstring& label, const std::wstring& path, REGSAM view, Snapshot* out) {
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return;
    (*out)[label + L"\\" + path] = L"(key)";
    // One buffer for the whole walk: made anew for each of the prefix's many keys, it cost most of the time.
    static std::vector<BYTE> data(65536);
    static wchar_t name[16384];
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = 16384, dataLength = (DWORD)data.size(), type = 0;
        LONG status = RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data.data(), &dataLength);
        if (status == ERROR_MORE_DATA) continue;  // a value over 64 KiB: none of ours
        if (status != ERROR_SUCCESS) break;
        std::wstring text(reinterpret_cast<wchar_t*>(data.data()), dataLength / sizeof(wchar_t));
        (*out)[label + L"\\" + path + L"|" + name] = std::to_wstring(type) + L":" + text;
    }
    std::vector<std::wstring> children;
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = 16384;
        if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        children.push_back(name);
    }
    RegCloseKey(key);
    for (const auto& child : children) {
        // The 64-bit view's "Wow6432Node" is the 32-bit view, which has a walk of its own.
        if (view == KEY_WOW64_64KEY && CompareStringOrdinal(child.c_str(), -1, L"Wow6432Node", -1, TRUE) == CSTR_EQUAL) continue;
        SnapshotKey(root, label, path.empty() ? child : path + L"\\" + child, view, out);
    }
}

static void SnapshotFolder(const std::wstring& folder, Snapshot* out) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring path = folder + L"\\" + name;
        bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        (*out)[path] = isFolder ? L"(folder)" : std::to_wstring(data.nFileSizeLow);
        if (isFolder && !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) SnapshotFolder(path, out);
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

Snapshot TakeSnapshot() {
    Snapshot all;
    for (REGSAM view : {(REGSAM)KEY_WOW64_64KEY, (REGSAM)KEY_WOW64_32KEY}) {
        std::wstring suffix = view == KEY_WOW64_64KEY ? L"64" : L"32";
        SnapshotKey(HKEY_LOCAL_MACHINE, L"HKLM" + suffix, L"Software", view, &all);
        SnapshotKey(HKEY_CURRENT_USER, L"HKCU" + suffix, L"Software", view, &all);
    }
    SnapshotFolder(L"C:", &all);
    return all;
}


static std::wstring TempFolder() {
    wchar_t temp[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp, n ? n - 1 : 0);
}

// What Windows (and Wine) note down by themselves while programs run, by name; and the test
// prefix's temporary folder, which the other tests use at the same time.
bool IsWindowsOwnChange(const std::wstring& path) {
    static const wchar_t* const kAllowed[] = {
        L"\\Software\\Wine",                                      // Wine's own per-prefix state
        L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer",  // shell caches and MRU lists
        L"\\Software\\Classes\\Local Settings",                   // MUI cache of started programs
        L"\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags",
        L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Group Policy",
    };
    for (const wchar_t* allowed : kAllowed) {
        if (path.find(allowed) != std::wstring::npos) return true;
    }
    // Wine's system folder (logs, font and registry caches) and the shared temporary folder.
    for (const std::wstring& folder : {std::wstring(L"C:\\windows"), TempFolder()}) {
        if (CompareStringOrdinal(path.c_str(), (int)std::min(path.size(), folder.size()), folder.c_str(),
                                 (int)folder.size(), TRUE) == CSTR_EQUAL)
            return true;
    }
    return false;
}

std::vector<std::wstring> Differences(const Snapshot& before, const Snapshot& after,
                                      const std::function<bool(const std::wstring&)>& allowed) {
    std::vector<std::wstring> out;
    for (const auto& entry : before) {
        if (allowed(entry.first)) continue;
        auto it = after.find(entry.first);
        if (it == after.end()) out.push_back(L"gone: " + entry.first);
        else if (it->second != entry.second) out.push_back(L"changed: " + entry.first);
    }
    for (const auto& entry : after) {
        if (!allowed(entry.first) && before.count(entry.first) == 0) out.push_back(L"left: " + entry.first);
    }
    return out;
}

}  // namespace bench
