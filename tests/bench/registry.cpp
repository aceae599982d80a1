// The registry as the tests read, set and clear it, in one view or the process's own.
#include "tests/bench/bench.h"

#include <string.h>

namespace bench {

bool KeyExists(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

bool ReadValue(HKEY root, const std::wstring& path, const wchar_t* name, DWORD* type, std::string* bytes,
               REGSAM view) {
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return false;
    DWORD size = 0;
    LONG status = RegQueryValueExW(key, name, nullptr, type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        bytes->assign(size, '\0');
        status = RegQueryValueExW(key, name, nullptr, type, reinterpret_cast<BYTE*>(&(*bytes)[0]), &size);
        bytes->resize(size);
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool ReadText(HKEY root, const std::wstring& path, const wchar_t* name, std::wstring* text, REGSAM view) {
    DWORD type = 0;
    std::string bytes;
    if (!ReadValue(root, path, name, &type, &bytes, view) || type != REG_SZ) return false;
    text->assign(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    text->resize(wcsnlen(text->c_str(), text->size()));
    return true;
}

bool ReadDword(HKEY root, const std::wstring& path, const wchar_t* name, DWORD* value, REGSAM view) {
    DWORD type = 0;
    std::string bytes;
    if (!ReadValue(root, path, name, &type, &bytes, view) || type != REG_DWORD || bytes.size() != 4) return false;
    memcpy(value, bytes.data(), 4);
    return true;
}

std::wstring ValueText(HKEY root, const std::wstring& path, const wchar_t* name, REGSAM view) {
    DWORD type = 0, number = 0;
    std::string bytes;
    if (!ReadValue(root, path, name, &type, &bytes, view)) return L"missing";
    if (type == REG_DWORD && bytes.size() == 4) {
        memcpy(&number, bytes.data(), 4);
        return L"dword:" + std::to_wstring(number);
    }
    if (type != REG_SZ) return L"type " + std::to_wstring(type);
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    if (text.empty() || text.back() != 0) return L"unterminated:" + text;
    text.pop_back();
    return text;
}

LONG SetValue(HKEY root, const std::wstring& path, const wchar_t* name, DWORD type, const void* data, DWORD size,
              REGSAM view) {
    HKEY key;
    LONG status = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return status;
    status = RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    return status;
}

LONG SetText(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& text, REGSAM view) {
    return SetValue(root, path, name, REG_SZ, text.c_str(), (DWORD)((text.size() + 1) * sizeof(wchar_t)), view);
}

LONG SetDword(HKEY root, const std::wstring& path, const wchar_t* name, DWORD value, REGSAM view) {
    return SetValue(root, path, name, REG_DWORD, &value, sizeof(value), view);
}

void DeleteValue(HKEY root, const std::wstring& path, const wchar_t* name, REGSAM view) {
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_SET_VALUE | view, &key) != ERROR_SUCCESS) return;
    RegDeleteValueW(key, name);
    RegCloseKey(key);
}

void DeleteKeyTree(HKEY root, const std::wstring& path, REGSAM view) {
    // An empty path would empty the whole root, and a key right below HKCU or HKLM is Windows's own.
    bool topLevel = root != HKEY_CLASSES_ROOT && path.find(L'\\') == std::wstring::npos;
    if (path.empty() || path[0] == L'\\' || topLevel) {
        fprintf(stderr, "bench: refusing to delete the registry key %s\n", Utf8(path).c_str());
        return;
    }
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) return;
    RegDeleteTreeW(key, nullptr);
    RegCloseKey(key);
    RegDeleteKeyExW(root, path.c_str(), view, 0);
}

void DeleteKeyIfEmpty(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return;
    DWORD subkeys = 1, values = 1;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(key);
    if (subkeys == 0 && values == 0) RegDeleteKeyExW(root, path.c_str(), view, 0);
}

SavedValue::SavedValue(HKEY root, const std::wstring& path, const wchar_t* name, REGSAM view)
    : root_(root), path_(path), name_(name), view_(view) {
    had_ = ReadValue(root_, path_, name_.c_str(), &type_, &bytes_, view_);
    for (size_t end = path_.size(); end != 0 && end != std::wstring::npos; end = path_.rfind(L'\\', end - 1)) {
        if (!KeyExists(root_, path_.substr(0, end), view_)) continue;
        existing_ = end;
        break;
    }
}

SavedValue::~SavedValue() {
    if (had_) SetValue(root_, path_, name_.c_str(), type_, bytes_.data(), (DWORD)bytes_.size(), view_);
    else DeleteValue(root_, path_, name_.c_str(), view_);
    for (size_t end = path_.size(); end != std::wstring::npos && end > existing_; end = path_.rfind(L'\\', end - 1))
        DeleteKeyIfEmpty(root_, path_.substr(0, end), view_);
}

ReportedVersion::ReportedVersion(const wchar_t* build) {
    const wchar_t key[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion";
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        saved_.emplace_back(HKEY_LOCAL_MACHINE, key, L"CurrentVersion", view);
        saved_.emplace_back(HKEY_LOCAL_MACHINE, key, L"CurrentBuildNumber", view);
        SetText(HKEY_LOCAL_MACHINE, key, L"CurrentVersion", L"10.0", view);
        SetText(HKEY_LOCAL_MACHINE, key, L"CurrentBuildNumber", build, view);
    }
}

}  // namespace bench
