// Shared by the settings tests: turns at the one Ombrix.ini beside the test programs.
#pragma once

#include "tests/bench/bench.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>

// Every settings test shares the one Ombrix.ini beside the test executables: the settings test
// programs take turns through this mutex.
class SettingsFileTurn : public testing::Environment {
public:
    void SetUp() override {
        mutex_ = CreateMutexW(nullptr, FALSE, L"Local\\OmbrixSettingsFileTests");
        WaitForSingleObject(mutex_, 200000);
    }
    void TearDown() override {
        ReleaseMutex(mutex_);
        CloseHandle(mutex_);
    }

private:
    HANDLE mutex_ = nullptr;
};

inline std::wstring IniPath() { return bench::TestsFolder() + L"\\Ombrix.ini"; }

inline std::wstring AppDataIni() {
    wchar_t folder[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, folder))) return std::wstring();
    return std::wstring(folder) + L"\\Ombrix\\Ombrix.ini";
}

// base, then key names of up to 100 characters, to exactly length characters.
inline std::wstring PathOfLength(const std::wstring& base, size_t length) {
    std::wstring path = base;
    while (path.size() + 102 < length) path += L"\\" + std::wstring(100, L'k');
    path += L"\\" + std::wstring(length - path.size() - 1, L'e');
    return path;
}
